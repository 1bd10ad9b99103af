#include "speech/AudioSetupWindowController.h"

#include "privacy/BuiltInScreenPlacement.h"
#include "look/DarkColours.h"
#include "look/TextStyle.h"
#include "speech/AudioDeviceController.h"
#include "speech/AudioSetupState.h"
#include "speech/SpeechAutomationNotifications.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>

namespace quorvia {

namespace {
// The least size inside the window; it grows to whatever its content needs.
constexpr QSize leastContentSize{620, 350};

QLabel* makeLabel(const QString& text, int pixelSize, QFont::Weight weight, const QColor& colour, int maxLines = 0)
{
    QLabel* label = styledLabel(text, pixelSize, weight, colour);
    if (maxLines > 0) {
        label->setWordWrap(true);
        label->setMaximumHeight(chineseLinesHeight(label->font(), maxLines));
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    return label;
}

// The route, a line for each device. A line too long for the label gives way
// in its device name, with an ellipsis: the words around the name, how the
// route stands above all, always show whole.
class RouteLabel final : public QLabel {
public:
    RouteLabel()
    {
        setFont(pixelFont(13, QFont::Normal));
        setTextColour(this, dark_colours::secondaryLabel());
        setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }

    void setRoute(std::vector<AudioRouteLine> lines)
    {
        lines_ = std::move(lines);
        updateGeometry();
        fit();
    }

    // As narrow as the words with an ellipsis for each name: the window grows
    // to that, never cuts them.
    QSize minimumSizeHint() const override
    {
        int width = 0;
        for (const AudioRouteLine& line : lines_)
            width = std::max(width, fontMetrics().horizontalAdvance(line.lead + ellipsis + line.trail));
        const QMargins margins = contentsMargins();
        return {width + margins.left() + margins.right() + 2 * margin(), QLabel::minimumSizeHint().height()};
    }
    QSize sizeHint() const override { return {minimumSizeHint().width(), QLabel::sizeHint().height()}; }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QLabel::resizeEvent(event);
        fit();
    }

private:
    static constexpr QChar ellipsis = u'…';

    void fit()
    {
        // Not yet laid out, its width says nothing of the room it will have.
        const int room = testAttribute(Qt::WA_Resized) ? contentsRect().width() - 2 * margin() : QWIDGETSIZE_MAX;
        QStringList shown;
        for (const AudioRouteLine& line : lines_) {
            const int left = room - fontMetrics().horizontalAdvance(line.lead + line.trail);
            QString name = fontMetrics().elidedText(line.name, Qt::ElideRight, std::max(left, 0));
            if (name.isEmpty() && !line.name.isEmpty())
                name = ellipsis;
            shown << line.lead + name + line.trail;
        }
        const QString text = shown.join(u'\n');
        if (text != QLabel::text())
            setText(text);
    }

    std::vector<AudioRouteLine> lines_;
};

QPushButton* makeButton(const QString& title)
{
    auto* button = new QPushButton(title);
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

QHBoxLayout* labeledRow(const QString& title, QWidget* control)
{
    auto* row = new QHBoxLayout;
    row->setSpacing(12);
    QLabel* label = makeLabel(title, 13, QFont::Medium, dark_colours::white());
    label->setFixedWidth(120);
    row->addWidget(label, 0, Qt::AlignVCenter);
    row->addWidget(control, 1, Qt::AlignVCenter);
    return row;
}

void fill(QComboBox& popup, const AudioSetupPopup& state)
{
    const QSignalBlocker quiet(&popup);
    popup.clear();
    for (const auto& [name, uid] : state.items)
        popup.addItem(name, uid);
    popup.setCurrentIndex(state.selectedIndex.value_or(-1));
}

// The UID of the popup's selected item, if it carries one.
std::optional<QString> selectedUID(const QComboBox* popup)
{
    if (!popup || popup->currentIndex() < 0)
        return std::nullopt;
    const QVariant value = popup->currentData();
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}
} // namespace

AudioSetupWindowController::AudioSetupWindowController(AudioDeviceController& devices, Automation automation)
    : devices_(devices), automation_(std::move(automation)),
      window_(std::make_unique<platform::Window>(platform::Rect(0, 0, leastContentSize.width(), leastContentSize.height()),
                                                 platform::WindowStyle::titled | platform::WindowStyle::closable)),
      life_(std::make_shared<AudioSetupWindowController*>(this))
{
    window_->setTitle(QStringLiteral("音频设备"));
    window_->setPalette(dark_colours::darkAppearance());
    window_->setBackgroundColor(dark_colours::editingBackground());
    window_->setLevel(platform::Window::floatingLevel);
    window_->setCollectionBehavior(platform::CollectionBehavior::canJoinAllSpaces
                                   | platform::CollectionBehavior::fullScreenAuxiliary);
    window_->setSharingType(platform::SharingType::none);
    window_->setContentView(makeContentView());
    positionOnBuiltInScreen();

    auto& center = platform::NotificationCenter::defaultCenter();
    for (const QString& name : {NotificationName::speechAutomationStatusChanged,
                                NotificationName::audioDeviceSelectionChanged,
                                NotificationName::audioDeviceTopologyChanged}) {
        observers_.push_back(center.observe(name, nullptr, [alive = std::weak_ptr(life_)](const auto&) {
            if (auto self = alive.lock())
                (*self)->reload();
        }));
    }
    reload();
}

AudioSetupWindowController::~AudioSetupWindowController() = default;

QWidget* AudioSetupWindowController::makeContentView()
{
    auto* root = new QWidget;
    root->setAutoFillBackground(true);
    QPalette palette = dark_colours::darkAppearance();
    palette.setColor(QPalette::Window, dark_colours::editingBackground());
    root->setPalette(palette);

    auto* stack = new QVBoxLayout(root);
    stack->setContentsMargins(22, 20, 22, 20);
    stack->setSpacing(12);
    stack->addWidget(makeLabel(QStringLiteral("麦克风与系统输出"), 20, QFont::DemiBold, dark_colours::white()));

    inputPopup_ = new QComboBox;
    outputPopup_ = new QComboBox;
    for (QComboBox* popup : {inputPopup_.data(), outputPopup_.data()})
        popup->setMinimumHeight(28);
    stack->addLayout(labeledRow(QStringLiteral("麦克风输入"), inputPopup_));
    stack->addLayout(labeledRow(QStringLiteral("系统音频输出"), outputPopup_));

    testToneButton_ = makeButton(QStringLiteral("播放测试音"));
    confirmButton_ = makeButton(QStringLiteral("我在会场听到了"));
    confirmButton_->setCheckable(true);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    buttons->addWidget(testToneButton_);
    buttons->addWidget(confirmButton_);
    buttons->addStretch(1);
    stack->addLayout(buttons);

    routeLabel_ = new RouteLabel;
    statusLabel_ = makeLabel(QString(), 13, QFont::Normal, dark_colours::systemOrange(), 3);
    stack->addWidget(routeLabel_);
    stack->addWidget(statusLabel_);
    stack->addWidget(makeLabel(QStringLiteral("逐字跟读或关键词模式会直接尝试语音识别；识别不可用时，可切回固定滚动或手动翻页。"
                                              "更换 USB / 蓝牙设备后请重新确认音频路径。现场音频只在设备端处理。"),
                               12, QFont::Normal, dark_colours::secondaryLabel(), 4));
    closeButton_ = makeButton(QStringLiteral("完成"));
    stack->addWidget(closeButton_, 0, Qt::AlignLeft);
    stack->addStretch(1);

    QObject::connect(inputPopup_, &QComboBox::activated, root, [this] { inputChanged(); });
    QObject::connect(outputPopup_, &QComboBox::activated, root, [this] { outputChanged(); });
    QObject::connect(testToneButton_, &QPushButton::clicked, root, [this] { playTestTone(); });
    // The button shows the confirmation; only the automation's answer may change its state.
    QObject::connect(confirmButton_, &QPushButton::clicked, root, [this] { confirmOutputRoute(); });
    QObject::connect(closeButton_, &QPushButton::clicked, root, [this] { closePressed(); });
    return root;
}

void AudioSetupWindowController::apply(const AudioSetupState& state)
{
    if (inputPopup_)
        fill(*inputPopup_, state.inputs);
    if (outputPopup_)
        fill(*outputPopup_, state.outputs);
    if (routeLabel_)
        static_cast<RouteLabel*>(routeLabel_.data())->setRoute(state.route);
    setStatus(state.statusText);
    if (confirmButton_) {
        confirmButton_->setChecked(state.confirmChecked);
        confirmButton_->setText(state.confirmTitle);
    }
    fitToContent();
}

void AudioSetupWindowController::fitToContent()
{
    QWidget* content = window_->contentView();
    if (!content)
        return;
    const int width = std::max(leastContentSize.width(), content->minimumSizeHint().width());
    const int height = std::max(leastContentSize.height(), content->hasHeightForWidth() ? content->heightForWidth(width)
                                                                                         : content->sizeHint().height());
    // Held inside by Qt, so the window manager's decorations, known only once
    // shown, come on top of it rather than out of it.
    window_->setMinimumSize(width, height);
    const QMargins decorations = window_->decorationMargins();
    const platform::Size frame{double(width + decorations.left() + decorations.right()),
                               double(height + decorations.top() + decorations.bottom())};
    if (window_->frame().size != frame)
        window_->setFrame(platform::Rect(window_->frame().origin, frame));
}

void AudioSetupWindowController::setStatus(const QString& text)
{
    if (statusLabel_)
        statusLabel_->setText(text);
    fitToContent();
}

void AudioSetupWindowController::reload()
{
    const auto [title, detail] = automation_.status ? automation_.status() : std::pair<QString, QString>();
    const bool verified = automation_.hasVerifiedOutputRoute && automation_.hasVerifiedOutputRoute();
    apply(AudioSetupState::of(devices_, title, detail, verified));
}

void AudioSetupWindowController::positionOnBuiltInScreen()
{
    centreOnBuiltInScreen(*window_);
}

void AudioSetupWindowController::present()
{
    // A change this refresh finds is gone for the coordinator's next check, so
    // it is handled here as that check would: the route is no longer the
    // confirmed one, and everyone watching the devices hears of it.
    if (devices_.refresh()) {
        if (automation_.audioRouteChanged)
            automation_.audioRouteChanged();
        platform::NotificationCenter::defaultCenter().post(NotificationName::audioDeviceTopologyChanged, &devices_);
    }
    reload();
    if (!centreOnBuiltInScreen(*window_))
        return;
    window_->makeKeyAndOrderFront();
}

void AudioSetupWindowController::inputChanged()
{
    const auto uid = selectedUID(inputPopup_);
    if (!uid)
        return;
    devices_.selectInput(*uid);
    if (automation_.audioRouteChanged)
        automation_.audioRouteChanged();
    // The route change withdraws the confirmation without a notification of its own.
    reload();
}

void AudioSetupWindowController::outputChanged()
{
    const auto uid = selectedUID(outputPopup_);
    if (!uid)
        return;
    if (devices_.selectOutput(*uid)) {
        if (automation_.audioRouteChanged)
            automation_.audioRouteChanged();
        reload();
        return;
    }
    reload();
    setStatus(audio_setup_text::outputChangeRefused);
}

void AudioSetupWindowController::playTestTone()
{
    if (automation_.setOutputRouteVerified)
        automation_.setOutputRouteVerified(false);
    devices_.playOutputTestTone([alive = std::weak_ptr(life_)](bool played) {
        if (auto self = alive.lock(); self && !played)
            (*self)->setStatus(audio_setup_text::toneFailed);
    });
}

void AudioSetupWindowController::confirmOutputRoute()
{
    if (automation_.setOutputRouteVerified)
        automation_.setOutputRouteVerified(true);
    const bool verified = automation_.hasVerifiedOutputRoute && automation_.hasVerifiedOutputRoute();
    if (!verified) {
        reload(); // a click must not leave the button looking confirmed
        setStatus(audio_setup_text::notSystemDefault);
    }
}

void AudioSetupWindowController::closePressed() { window_->orderOut(); }

} // namespace quorvia
