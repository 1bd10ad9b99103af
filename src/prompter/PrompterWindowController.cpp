#include "prompter/PrompterWindowController.h"

#include "prompter/AutoScrollController.h"
#include "prompter/PrompterBubbleView.h"
#include "prompter/PrompterHost.h"
#include "prompter/PrompterPanel.h"
#include "prompter/ScriptScrollView.h"
#include "prompter/TimelineStripView.h"

#include "keynote/PresentationSyncController.h"
#include "model/PromptScript.h"
#include "platform/Platform.h"
#include "platform/desktop/Popover.h"
#include "platform/desktop/Symbols.h"
#include "look/IslandButton.h"
#include "look/DarkColours.h"
#include "look/PrompterPreferences.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorvia {

using platform::CollectionBehavior;
using platform::WindowStyle;

namespace {

// The badge gives way first: it shortens with an ellipsis at its tail.
class BadgeLabel final : public QLabel {
public:
    using QLabel::QLabel;
    QSize minimumSizeHint() const override { return QSize(0, QLabel::minimumSizeHint().height()); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.setFont(font());
        const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, width());
        painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, shown);
    }
};

QFont pixelFont(int size, QFont::Weight weight)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(size);
    font.setWeight(weight);
    return font;
}

void setTextColour(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::ButtonText, colour);
    widget->setPalette(palette);
}

QString buttonStyle(const QColor& fill)
{
    return QStringLiteral("QPushButton { background: %1; color: white; border: none; border-radius: 7px; padding: 5px 10px; }"
                          "QPushButton:pressed { background: %2; }"
                          "QPushButton:disabled { color: rgba(255,255,255,90); background: rgba(255,255,255,18); }")
        .arg(fill.name(QColor::HexArgb), fill.darker(130).name(QColor::HexArgb));
}

} // namespace

PrompterWindowController::PrompterWindowController(PromptScript& script, AutoScrollController& autoScroll,
                                                   PrompterHost& prompterHost, PrompterPreferences& preferences,
                                                   PrompterSpeechAutomation& speechAutomation,
                                                   PresentationSyncController& syncController)
    : script_(script), autoScroll_(autoScroll), prompterHost_(prompterHost), preferences_(preferences),
      speechAutomation_(speechAutomation), syncController_(syncController)
{
    bubblePanel_ = std::make_unique<PrompterBubblePanel>(platform::Rect(0, 0, bubbleSize.width, bubbleSize.height),
                                                         WindowStyle::borderless | WindowStyle::nonactivatingPanel);
    bubbleView_ = new PrompterBubbleView();

    window_ = std::make_unique<PrompterPanel>(platform::Rect(0, 0, 620, 460),
                                              WindowStyle::titled | WindowStyle::closable | WindowStyle::resizable
                                                  | WindowStyle::miniaturizable | WindowStyle::nonactivatingPanel);
    PrompterPanel& w = *window_;
    w.setTitle(QStringLiteral("私密提词窗口"));
    w.setLevel(preferences_.alwaysOnTop() ? platform::Window::floatingLevel : platform::Window::normalLevel);
    w.setAlphaValue(preferences_.opacity());
    w.setCollectionBehavior(CollectionBehavior::canJoinAllSpaces | CollectionBehavior::fullScreenAuxiliary);
    w.setSharingType(platform::SharingType::none);
    w.setHidesOnDeactivate(false);
    w.setBecomesKeyOnlyIfNeeded(true);
    w.setMinimumSize(380, 280);
    w.setBackgroundColor(dark_colours::prompterPlum());
    w.setContentView(makeContentView());
    std::weak_ptr<bool> alive = alive_;
    w.onShouldClose = [this, alive] { return alive.lock() ? windowShouldClose() : false; };

    configureBubblePanel();
    positionOnBuiltInScreen();

    timelineStrip_->onSelect = [this, alive](int index) {
        if (alive.lock())
            script_.setIndex(index, PresentationEventSource::manualPrompt);
    };
    timelineStrip_->onMove = [this, alive](int from, int to) {
        if (alive.lock())
            script_.moveBlock(from, to);
    };
    observe();
    updateLabels();
    updateControls();
}

PrompterWindowController::~PrompterWindowController()
{
    *alive_ = false;
    if (bubbleAnimation_ != 0 && platform::hasCurrent())
        platform::current().animator().cancel(bubbleAnimation_);
    scriptObserver_.reset();
    autoScrollObserver_.reset();
    speechObserver_.reset();
    modeObserver_.reset();
    fontSizeObserver_.reset();
    syncObserver_.reset();
    projectsObserver_.reset();
    if (prompterHost_.scriptView().parentWidget() == scriptContainer_) {
        prompterHost_.onAdvanced = nullptr;
        prompterHost_.onReloaded = nullptr;
        prompterHost_.scriptView().setParent(nullptr);
    }
}

std::vector<platform::Window*> PrompterWindowController::privateWindows() const
{
    return {window_.get(), bubblePanel_.get()};
}

void PrompterWindowController::observe()
{
    auto& center = platform::NotificationCenter::defaultCenter();
    std::weak_ptr<bool> alive = alive_;
    auto controls = [this, alive](const platform::Notification&) {
        if (alive.lock())
            updateControls();
    };
    // A script change refreshes the controls as well as the labels, so the
    // start buttons follow an imported script at once.
    scriptObserver_ = center.observe(NotificationName::promptScriptChanged, &script_, controls);
    autoScrollObserver_ = center.observe(AutoScrollController::stateChangedNotification, &autoScroll_, controls);
    speechObserver_ = center.observe(NotificationName::speechAutomationStatusChanged,
                                     speechAutomation_.notificationSender(), controls);
    modeObserver_ = center.observe(NotificationName::presentationModeChanged, &script_, controls);
    fontSizeObserver_ = center.observe(ScriptScrollView::fontSizeChangedNotification, &prompterHost_.scriptView(), controls);
    syncObserver_ = center.observe(PresentationSyncController::presentationSyncStatusChanged, &syncController_, controls);
    // A rename posts only the project list's change, and the title and badge name the project.
    projectsObserver_ = center.observe(NotificationName::presentationProjectsChanged, &script_,
                                       [this, alive](const platform::Notification&) {
                                           if (alive.lock())
                                               updateLabels();
                                       });
}

void PrompterWindowController::configure(IslandButton* button, const QString& title,
                                         void (PrompterWindowController::*action)())
{
    button->setText(title);
    button->setFont(pixelFont(13, QFont::Medium));
    button->setMinimumHeight(30);
    button->setFocusPolicy(Qt::NoFocus);
    button->setStyleSheet(buttonStyle(dark_colours::prompterButtonFill()));
    std::weak_ptr<bool> alive = alive_;
    QObject::connect(button, &QPushButton::clicked, [this, alive, action] {
        if (alive.lock())
            (this->*action)();
    });
}

QWidget* PrompterWindowController::makeContentView()
{
    auto* root = new QWidget();
    root->setAutoFillBackground(true);
    QPalette rootPalette = root->palette();
    rootPalette.setColor(QPalette::Window, dark_colours::prompterPlum());
    root->setPalette(rootPalette);

    privateBadge_ = new BadgeLabel(QString());
    privateBadge_->setFont(pixelFont(12, QFont::Bold));
    setTextColour(privateBadge_, dark_colours::systemPink());
    privateBadge_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    speedLabel_ = new QLabel();
    QFont speedFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    speedFont.setPixelSize(11);
    speedFont.setWeight(QFont::Medium);
    speedLabel_->setFont(speedFont);
    setTextColour(speedLabel_, dark_colours::secondaryLabel());

    settingsButton_ = new QPushButton();
    settingsButton_->setIcon(platform::symbolIcon(QStringLiteral("gearshape"), dark_colours::white(), 18));
    settingsButton_->setFlat(true);
    settingsButton_->setFocusPolicy(Qt::NoFocus);
    settingsButton_->setStyleSheet(QStringLiteral("QPushButton { border: none; padding: 2px; }"));
    settingsButton_->setAccessibleName(QStringLiteral("提词窗设置"));
    settingsButton_->setToolTip(QStringLiteral("单独调整提词窗透明度与置顶"));
    std::weak_ptr<bool> alive = alive_;
    QObject::connect(settingsButton_, &QPushButton::clicked, [this, alive] {
        if (alive.lock())
            showSettings(settingsButton_);
    });

    collapseButton_ = new QPushButton(QStringLiteral("缩成圆点"));
    collapseButton_->setIcon(platform::symbolIcon(QStringLiteral("minus.circle.fill"), dark_colours::white(), 16));
    collapseButton_->setFont(pixelFont(13, QFont::DemiBold));
    collapseButton_->setFocusPolicy(Qt::NoFocus);
    collapseButton_->setStyleSheet(buttonStyle(dark_colours::systemPink()));
    collapseButton_->setAccessibleName(QStringLiteral("缩成圆点"));
    collapseButton_->setToolTip(QStringLiteral("缩成可拖动圆点"));
    QObject::connect(collapseButton_, &QPushButton::clicked, [this, alive] {
        if (alive.lock())
            collapseToBubblePressed();
    });

    auto* header = new QHBoxLayout();
    header->setSpacing(8);
    header->setContentsMargins(20, 0, 20, 0);
    header->addWidget(privateBadge_, 1);
    header->addWidget(new QWidget(), 0);
    header->addWidget(speedLabel_, 0, Qt::AlignVCenter);
    header->addWidget(collapseButton_, 0, Qt::AlignVCenter);
    header->addWidget(settingsButton_, 0, Qt::AlignVCenter);

    scriptContainer_ = new QWidget();
    scriptContainer_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    scriptContainer_->setMinimumHeight(1);

    timelineStrip_ = new TimelineStripView(TimelineStripDensity::compact);
    timelineStrip_->setFixedHeight(static_cast<int>(timelineTotalHeight(TimelineStripDensity::compact)));

    toggleScrollButton_ = new IslandButton();
    slowerButton_ = new IslandButton();
    fasterButton_ = new IslandButton();
    questionPauseButton_ = new IslandButton();
    smallerFontButton_ = new IslandButton();
    largerFontButton_ = new IslandButton();
    syncToggleButton_ = new IslandButton();
    configure(toggleScrollButton_, QStringLiteral("开始滚动"), &PrompterWindowController::toggleScrollPressed);
    toggleScrollButton_->setStyleSheet(buttonStyle(dark_colours::systemBlue()));
    configure(slowerButton_, QStringLiteral("减速"), &PrompterWindowController::slowerPressed);
    configure(fasterButton_, QStringLiteral("加速"), &PrompterWindowController::fasterPressed);
    configure(questionPauseButton_, QStringLiteral("问答暂停"), &PrompterWindowController::questionPausePressed);
    configure(smallerFontButton_, QStringLiteral("A\u2212"), &PrompterWindowController::smallerFontPressed);
    smallerFontButton_->setAccessibleName(QStringLiteral("减小稿件字体"));
    smallerFontButton_->setToolTip(QStringLiteral("减小稿件字体"));
    configure(largerFontButton_, QStringLiteral("A+"), &PrompterWindowController::largerFontPressed);
    largerFontButton_->setAccessibleName(QStringLiteral("增大稿件字体"));
    largerFontButton_->setToolTip(QStringLiteral("增大稿件字体"));
    configure(syncToggleButton_, QStringLiteral("启用双向同步"), &PrompterWindowController::toggleSyncPressed);

    // Equal widths: every button of a row stretches alike and ignores its text width.
    auto row = [](std::initializer_list<QPushButton*> buttons) {
        auto* layout = new QHBoxLayout();
        layout->setSpacing(8);
        for (auto* b : buttons) {
            b->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
            layout->addWidget(b, 1);
        }
        return layout;
    };
    auto* buttons = new QVBoxLayout();
    buttons->setSpacing(8);
    buttons->setContentsMargins(20, 0, 20, 0);
    buttons->addLayout(row({toggleScrollButton_, questionPauseButton_, slowerButton_, fasterButton_}));
    buttons->addLayout(row({smallerFontButton_, largerFontButton_, syncToggleButton_}));

    progress_ = new QProgressBar();
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    progress_->setFixedHeight(6);
    progress_->setStyleSheet(QStringLiteral("QProgressBar { background: rgba(255,255,255,30); border: none; border-radius: 3px; }"
                                            "QProgressBar::chunk { background: %1; border-radius: 3px; }")
                                 .arg(dark_colours::systemBlue().name()));

    auto* column = new QVBoxLayout(root);
    column->setContentsMargins(0, 16, 0, 16);
    column->setSpacing(0);
    column->addLayout(header);
    column->addSpacing(10);
    auto* scriptRow = new QHBoxLayout();
    scriptRow->setContentsMargins(12, 0, 12, 0);
    scriptRow->addWidget(scriptContainer_);
    column->addLayout(scriptRow, 1);
    column->addSpacing(8);
    auto* stripRow = new QHBoxLayout();
    stripRow->setContentsMargins(20, 0, 20, 0);
    stripRow->addWidget(timelineStrip_);
    column->addLayout(stripRow);
    column->addSpacing(8);
    column->addLayout(buttons);
    column->addSpacing(12);
    auto* progressRow = new QHBoxLayout();
    progressRow->setContentsMargins(20, 0, 20, 0);
    progressRow->addWidget(progress_);
    column->addLayout(progressRow);
    return root;
}

} // namespace quorvia
