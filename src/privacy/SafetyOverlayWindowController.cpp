#include "privacy/SafetyOverlayWindowController.h"

#include "platform/core/MainQueue.h"
#include "platform/desktop/Panel.h"
#include "platform/Platform.h"
#include "platform/system/Workspace.h"
#include "privacy/DisplayTopology.h"
#include "look/IslandButton.h"
#include "look/DarkColours.h"
#include "look/TextStyle.h"
#include "privacy/SafetyOverlayContentView.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <QWindow>

namespace quorvia {

using platform::CollectionBehavior;
using platform::WindowStyle;

namespace {
// A wrapping label shows at most this many lines; the rest is cut off.
void limitLines(QLabel* l, int lines)
{
    l->setWordWrap(true);
    l->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    l->setMaximumHeight(l->fontMetrics().lineSpacing() * lines);
}

// Reports every top-level window of the application about to be mapped, and
// every one that becomes active.
class WindowShownFilter final : public QObject {
public:
    WindowShownFilter(std::function<void(QWindow*)> onMapping, std::function<void(QWidget*)> onActivated)
        : onMapping_(std::move(onMapping)), onActivated_(std::move(onActivated))
    {
    }
    ~WindowShownFilter() override
    {
        if (qApp)
            qApp->removeEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // A native window, a widget's or not, gets its show event right
        // before it is mapped, not the widget's earlier one.
        if (event->type() == QEvent::Show && watched->isWindowType()) {
            auto* window = static_cast<QWindow*>(watched);
            if (window->isTopLevel())
                onMapping_(window);
        } else if (event->type() == QEvent::WindowActivate && watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            if (widget->isWindow())
                onActivated_(widget);
        }
        return false;
    }

private:
    std::function<void(QWindow*)> onMapping_;
    std::function<void(QWidget*)> onActivated_;
};

QPalette darkAppearance()
{
    QPalette p;
    p.setColor(QPalette::Window, dark_colours::black());
    p.setColor(QPalette::WindowText, dark_colours::white());
    dark_colours::setButtonFace(p, dark_colours::buttonFace());
    p.setColor(QPalette::ButtonText, dark_colours::white());
    p.setColor(QPalette::Base, QColor(28, 28, 30));
    p.setColor(QPalette::Text, dark_colours::white());
    return p;
}
} // namespace

SafetyOverlayWindowController::SafetyOverlayWindowController() = default;

void SafetyOverlayWindowController::prepareWindow()
{
    if (!panel_)
        buildWindow();
}

platform::Panel& SafetyOverlayWindowController::window()
{
    prepareWindow();
    return *panel_;
}

QLabel& SafetyOverlayWindowController::reasonLabel()
{
    prepareWindow();
    return *reasonLabel_;
}

void SafetyOverlayWindowController::buildWindow()
{
    panel_ = std::make_unique<platform::Panel>(platform::Rect(),
                                               WindowStyle::borderless | WindowStyle::nonactivatingPanel);
    platform::Panel& p = *panel_;
    p.setPalette(darkAppearance());
    p.setBackgroundColor(dark_colours::black());
    p.setLevel(platform::Window::overlayLevel);
    p.setCollectionBehavior(CollectionBehavior::canJoinAllSpaces | CollectionBehavior::fullScreenAuxiliary
                            | CollectionBehavior::stationary | CollectionBehavior::ignoresCycle);
    p.setSharingType(platform::SharingType::none);
    p.setHidesOnDeactivate(false);
    p.setCanBecomeKey(false);
    p.setContentView(makeContentView());
}

SafetyOverlayWindowController::~SafetyOverlayWindowController()
{
    *alive_ = false;
    keepAbove_.reset();
    // An activity must never outlive the mask that asked for it.
    if (activity_)
        platform::current().process().endActivity(*activity_);
}

QWidget* SafetyOverlayWindowController::makeContentView()
{
    auto* title = styledLabel(QStringLiteral("安全遮罩"), pixelFont(44, QFont::Bold), dark_colours::white());
    reasonLabel_ = styledLabel(QString(), pixelFont(18, QFont::Medium), dark_colours::systemYellow());
    limitLines(reasonLabel_, 4);
    auto* explanation = styledLabel(QStringLiteral("全部私密窗口已先隐藏。系统镜像会把此内置屏遮罩复制到观众端。"
                                                   "请切换回扩展显示，然后点击“重新尝试隐私输出”。"),
                                    pixelFont(15, QFont::Normal), dark_colours::secondaryLabel());
    limitLines(explanation, 5);

    auto* retry = button(QStringLiteral("重新尝试隐私输出"), &SafetyOverlayWindowController::retryPressed);
    QPalette blue = retry->palette();
    dark_colours::setButtonFace(blue, dark_colours::systemBlue());
    retry->setPalette(blue);

    auto row = [](QWidget* left, QWidget* right) {
        auto* r = new QHBoxLayout;
        r->setSpacing(12);
        r->setContentsMargins(0, 0, 0, 0);
        r->addWidget(left, 1);
        r->addWidget(right, 1);
        return r;
    };
    auto* buttons = new QVBoxLayout;
    buttons->setSpacing(10);
    buttons->addLayout(row(button(QStringLiteral("打开显示器设置"), &SafetyOverlayWindowController::openDisplays),
                           retry));
    buttons->addLayout(
        row(button(QStringLiteral("关闭输出并返回"), &SafetyOverlayWindowController::stopPressed),
            button(QStringLiteral("临时退出遮罩（私密窗口仍隐藏）"), &SafetyOverlayWindowController::temporaryExitPressed)));

    auto* column = new QWidget;
    auto* stack = new QVBoxLayout(column);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(24);
    stack->addWidget(title, 0, Qt::AlignHCenter);
    stack->addWidget(reasonLabel_);
    stack->addWidget(explanation);
    stack->addLayout(buttons);
    return new SafetyOverlayContentView(column);
}

IslandButton* SafetyOverlayWindowController::button(const QString& title,
                                                    void (SafetyOverlayWindowController::*action)())
{
    auto* b = new IslandButton(title);
    b->setFont(pixelFont(15, QFont::Normal));
    b->setMinimumHeight(34);
    b->setFocusPolicy(Qt::NoFocus);
    QObject::connect(b, &QPushButton::clicked, [this, action] { (this->*action)(); });
    return b;
}

bool SafetyOverlayWindowController::isShown() const { return panel_ && panel_->isVisible(); }

void SafetyOverlayWindowController::show(const QString& reason)
{
    const auto screen = DisplayTopology::safetyOverlayScreen();
    if (!screen) {
        waitingReason_ = reason;
        return;
    }
    waitingReason_.reset();
    ++*shows_;
    reason_ = reason;
    reasonLabel().setText(reason);
    // The full frame: menu bar and dock areas are covered too.
    window().setFrame(screen->frame);
    window().orderFrontRegardless();
    keepAboveWindowsShownLater();
    if (!activity_)
        activity_ = platform::current().process().beginActivity({.userInitiated = true, .idleDisplaySleepDisabled = true},
                                                                QStringLiteral("保持镜像安全遮罩可见"));
}

void SafetyOverlayWindowController::keepAboveWindowsShownLater()
{
    if (keepAbove_ || !qApp)
        return;
    std::weak_ptr<bool> alive = alive_;
    const auto onMapping = [this](QWindow* mapping) {
        // Raised before the other is mapped, the mask is above it from its
        // first picture on, with or without a window manager to stack it.
        if (mapping != panel_->windowHandle() && panel_->isVisible())
            panel_->raise();
    };
    const auto onActivated = [this, alive](QWidget* active) {
        if (active == panel_.get())
            return;
        // A window that stays on top goes to the front again as it becomes
        // active (an alert up before the mask, a late activation): raised on
        // a later turn, the mask goes above it.
        platform::MainQueue::async([this, alive] {
            if (const auto life = alive.lock(); life && *life && panel_->isVisible())
                panel_->raise();
        });
    };
    keepAbove_ = std::make_unique<WindowShownFilter>(onMapping, onActivated);
    qApp->installEventFilter(keepAbove_.get());
}

void SafetyOverlayWindowController::showIfWaiting()
{
    if (waitingReason_ && DisplayTopology::safetyOverlayScreen())
        show(*waitingReason_);
}

void SafetyOverlayWindowController::followSpeakersScreen()
{
    if (!isShown())
        return;
    const auto screen = DisplayTopology::safetyOverlayScreen();
    if (!screen) {
        // Left standing it would cover whatever display took its place.
        waitingReason_ = reason_;
        panel_->orderOut();
        return;
    }
    // Set even when unchanged: Qt's screens may have caught up with the
    // server since, and the same frame then lands elsewhere.
    const QRect before = panel_->geometry();
    panel_->setFrame(screen->frame);
    if (panel_->geometry() == before)
        return;
    panel_->orderFrontRegardless();
    panel_->update();
}

QString SafetyOverlayWindowController::reason() const
{
    if (waitingReason_)
        return *waitingReason_;
    return isShown() ? reason_ : QString();
}

void SafetyOverlayWindowController::setReason(const QString& reason)
{
    if (waitingReason_) {
        waitingReason_ = reason;
        return;
    }
    if (!isShown())
        return;
    reason_ = reason;
    reasonLabel_->setText(reason);
}

void SafetyOverlayWindowController::hide()
{
    waitingReason_.reset();
    ++*shows_;
    keepAbove_.reset();
    if (panel_)
        panel_->orderOut();
    if (activity_) {
        platform::current().process().endActivity(*activity_);
        activity_.reset();
    }
}

void SafetyOverlayWindowController::openDisplays()
{
    // A button that does nothing would leave the speaker guessing.
    const std::weak_ptr<quint64> shows = shows_;
    const quint64 show = *shows_;
    platform::current().workspace().openDisplaySettings([this, shows, show](bool opened) {
        const auto current = shows.lock();
        if (opened || !current || *current != show)
            return;
        reasonLabel().setText(reason_ + u'\n' + displaySettingsUnavailableMessage());
    });
}

QString SafetyOverlayWindowController::displaySettingsUnavailableMessage()
{
    return QStringLiteral("未能打开显示器设置：没有找到可用的显示器设置工具。请在桌面的系统设置中改为扩展显示。");
}

void SafetyOverlayWindowController::retryPressed()
{
    if (onRetry)
        onRetry();
}

void SafetyOverlayWindowController::stopPressed()
{
    if (onStopAndReturn)
        onStopAndReturn();
}

void SafetyOverlayWindowController::temporaryExitPressed()
{
    if (onTemporaryExit)
        onTemporaryExit();
}

} // namespace quorvia
