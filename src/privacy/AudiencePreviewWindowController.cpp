#include "privacy/AudiencePreviewWindowController.h"

#include "platform/displays/DisplayService.h"
#include "platform/system/PermissionService.h"
#include "platform/Platform.h"
#include "platform/desktop/Popover.h"
#include "platform/system/ProcessService.h"
#include "platform/desktop/Window.h"
#include "privacy/AudiencePreviewCanvasView.h"
#include "privacy/DisplayTopology.h"
#include "look/DarkColours.h"
#include "look/WindowSettingsViewController.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace quorvia {

using platform::Rect;

namespace {
const QString kQueueLabel = QStringLiteral("com.local.quorvia.audience-preview");
const QString kTitle = QStringLiteral("观众画面预览");

bool isUsableFrame(const platform::SampleBuffer& buffer)
{
    if (!buffer.frameStatus)
        return false;
    const int raw = *buffer.frameStatus;
    return raw == int(platform::FrameStatus::complete) || raw == int(platform::FrameStatus::started);
}
} // namespace

AudiencePreviewWindowController::AudiencePreviewWindowController()
    : captureQueue_(kQueueLabel), liveness_(std::make_shared<Liveness>(Liveness{this}))
{
}

AudiencePreviewWindowController::~AudiencePreviewWindowController()
{
    liveness_.reset();
    // A capture must not run on with nobody to show it.
    if (stream_)
        stream_->stopCapture([stream = stream_](std::optional<platform::CaptureError>) {});
}

bool AudiencePreviewWindowController::isVisible() const
{
    return window_ && window_->isVisible() && activeDisplayID_.has_value();
}

void AudiencePreviewWindowController::reportVisibility(bool visible)
{
    if (onVisibilityChange)
        onVisibilityChange(visible);
}

void AudiencePreviewWindowController::fail(const QString& status)
{
    activeDisplayID_.reset();
    if (canvas_)
        canvas_->showStatus(status);
    reportVisibility(false);
}

void AudiencePreviewWindowController::start(platform::DisplayID displayID)
{
    if (isStopping_)
        return;
    // With no screen of the speaker's own, the one screen there is may be the audience's.
    if (!DisplayTopology::builtInScreen()) {
        stop();
        return;
    }
    stopStream(nullptr);
    activeDisplayID_ = displayID;
    const std::uint64_t request = ++request_;
    showWindow(displayID);
    canvas_->showStatus(QStringLiteral("正在连接外屏预览…"));

    auto& permissions = platform::current().permissions();
    if (!permissions.preflightScreenCaptureAccess() && !permissions.requestScreenCaptureAccess()) {
        fail(QStringLiteral("需要屏幕录制权限，授权后请重启应用"));
        return;
    }

    std::weak_ptr<Liveness> weak = liveness_;
    platform::current().capture().shareableContent(
        false, false, [weak, displayID, request](std::expected<platform::ShareableContent, platform::CaptureError> result) {
            platform::MainQueue::async([weak, displayID, request, result = std::move(result)] {
                if (auto alive = weak.lock())
                    alive->owner->contentArrived(result, displayID, request);
            });
        });
}

void AudiencePreviewWindowController::contentArrived(
    std::expected<platform::ShareableContent, platform::CaptureError> result, platform::DisplayID displayID,
    std::uint64_t request)
{
    // A newer start or a stop came in between: this answer is no one's.
    if (request != request_)
        return;
    if (!result) {
        fail(QStringLiteral("无法读取外屏画面"));
        return;
    }
    const auto display = DisplayTopology::shareableDisplay(displayID, *result);
    if (!display) {
        fail(QStringLiteral("找不到所选外屏"));
        return;
    }
    const qint64 ownPid = platform::current().process().processIdentifier();
    std::vector<platform::ShareableApplication> excluded;
    std::copy_if(result->applications.begin(), result->applications.end(), std::back_inserter(excluded),
                 [&](const auto& app) { return app.processID == ownPid; });
    if (activeDisplayID_ == displayID && window_ && window_->isVisible())
        configureStream(*display, excluded, request);
}

void AudiencePreviewWindowController::configureStream(const platform::ShareableDisplay& display,
                                                      const std::vector<platform::ShareableApplication>& excluding,
                                                      std::uint64_t)
{
    platform::ContentFilter filter{display, excluding};
    platform::StreamConfiguration configuration;
    configuration.width = display.width;
    configuration.height = display.height;
    configuration.minimumFrameInterval = {1, 30};
    configuration.queueDepth = 3;
    configuration.pixelFormat = platform::PixelFormat::bgra32;
    configuration.showsCursor = true;
    configuration.capturesAudio = false;

    std::weak_ptr<Liveness> weak = liveness_;
    auto stream = platform::current().capture().makeStream(
        filter, configuration, [weak](platform::StreamID source, platform::CaptureError) {
            platform::MainQueue::async([weak, source] {
                if (auto alive = weak.lock())
                    alive->owner->streamStopped(source);
            });
        });
    auto added = stream->addStreamOutput(
        platform::StreamOutputType::screen, captureQueue_,
        [weak](platform::StreamID source, const platform::SampleBuffer& buffer, platform::StreamOutputType type) {
            // On the capture queue: only the type and status are read here.
            if (type != platform::StreamOutputType::screen || !isUsableFrame(buffer))
                return;
            platform::MainQueue::async([weak, source, buffer] {
                if (auto alive = weak.lock())
                    alive->owner->frameArrived(source, buffer);
            });
        });
    if (!added) {
        fail(QStringLiteral("外屏预览启动失败"));
        return;
    }
    stream_ = stream;
    stream->startCapture([weak, stream](std::optional<platform::CaptureError> error) {
        platform::MainQueue::async([weak, stream, error] {
            auto alive = weak.lock();
            if (!alive || alive->owner->stream_ != stream || !error)
                return;
            AudiencePreviewWindowController& self = *alive->owner;
            self.activeDisplayID_.reset();
            if (self.canvas_)
                self.canvas_->showStatus(QStringLiteral("外屏预览启动失败"));
            self.stopStream(nullptr);
            self.reportVisibility(false);
        });
    });
}

void AudiencePreviewWindowController::frameArrived(platform::StreamID source, const platform::SampleBuffer& buffer)
{
    if (stream_ && stream_->identifier() == source && canvas_)
        canvas_->enqueue(buffer);
}

void AudiencePreviewWindowController::streamStopped(platform::StreamID source)
{
    if (!stream_ || stream_->identifier() != source)
        return;
    if (canvas_)
        canvas_->showStatus(QStringLiteral("外屏预览已停止"));
    activeDisplayID_.reset();
    std::weak_ptr<Liveness> weak = liveness_;
    stopStream([weak] {
        if (auto alive = weak.lock())
            alive->owner->reportVisibility(false);
    });
}

void AudiencePreviewWindowController::stopStream(std::function<void()> completion)
{
    if (!stream_) {
        if (completion)
            completion();
        return;
    }
    auto stream = std::move(stream_);
    stream_.reset();
    isStopping_ = true;
    std::weak_ptr<Liveness> weak = liveness_;
    // The stream is kept alive until its stop has completed.
    stream->stopCapture([weak, stream, completion = std::move(completion)](std::optional<platform::CaptureError>) {
        platform::MainQueue::async([weak, completion] {
            if (auto alive = weak.lock())
                alive->owner->isStopping_ = false;
            if (completion)
                completion();
        });
    });
}

void AudiencePreviewWindowController::stop()
{
    activeDisplayID_.reset();
    ++request_;
    closeSettingsPopover();
    if (canvas_)
        canvas_->showStatus(QStringLiteral("预览已关闭"));
    if (window_)
        window_->orderOut();
    std::weak_ptr<Liveness> weak = liveness_;
    stopStream([weak] {
        if (auto alive = weak.lock())
            alive->owner->reportVisibility(false);
    });
}

void AudiencePreviewWindowController::handleTopologyChange(std::optional<platform::DisplayID> selectedDisplayID)
{
    if (!activeDisplayID_)
        return;
    const DisplaySnapshot snapshot = DisplayTopology::snapshot();
    const bool stillThere = std::find(snapshot.externalIDs.begin(), snapshot.externalIDs.end(), *activeDisplayID_)
        != snapshot.externalIDs.end();
    if (snapshot.mirroredIDs.empty() && selectedDisplayID == activeDisplayID_ && stillThere) {
        keepWindowOnBuiltInScreen();
        return;
    }
    stop();
}

void AudiencePreviewWindowController::windowWillClose()
{
    closeSettingsPopover();
    stop();
}

void AudiencePreviewWindowController::closeSettingsPopover()
{
    if (settingsPopover_)
        settingsPopover_->dismiss();
}

QWidget* AudiencePreviewWindowController::makeContentView()
{
    // The title bar cannot hold widgets here, so the opacity button sits in a
    // strip at its right just below it.
    auto* root = new QWidget;
    auto* column = new QVBoxLayout(root);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* accessory = new QWidget;
    accessory->setFixedHeight(28);
    auto* row = new QHBoxLayout(accessory);
    row->setContentsMargins(0, 2, 4, 2);
    row->addStretch(1);
    opacityButton_ = new QPushButton(QStringLiteral("透明度"));
    opacityButton_->setFixedSize(76, 24);
    QFont small;
    small.setPixelSize(11);
    opacityButton_->setFont(small);
    opacityButton_->setAccessibleName(QStringLiteral("外屏预览透明度"));
    opacityButton_->setToolTip(QStringLiteral("单独调整外屏预览窗口透明度"));
    QObject::connect(opacityButton_, &QPushButton::clicked, [this] { showOpacitySettings(); });
    row->addWidget(opacityButton_);

    canvas_ = new AudiencePreviewCanvasView;
    column->addWidget(accessory);
    column->addWidget(canvas_, 1);
    return root;
}

void AudiencePreviewWindowController::showWindow(platform::DisplayID displayID)
{
    if (!window_ || !canvas_) {
        window_ = std::make_unique<platform::Window>(
            initialWindowFrame(), platform::WindowStyle::titled | platform::WindowStyle::closable
                                      | platform::WindowStyle::miniaturizable | platform::WindowStyle::resizable);
        window_->setTitle(kTitle);
        window_->setBackgroundColor(dark_colours::black());
        window_->setSharingType(platform::SharingType::none);
        window_->setContentView(makeContentView());
        window_->onWillClose = [this] { windowWillClose(); };
        if (onWindowCreated)
            onWindowCreated(window_.get());
    }
    window_->setAlphaValue(preferences_.opacity());
    window_->setTitle(kTitle + QStringLiteral(" · 外屏 ") + QString::number(displayID));
    keepWindowOnBuiltInScreen();
    window_->makeKeyAndOrderFront();
    reportVisibility(true);
}

void AudiencePreviewWindowController::keepWindowOnBuiltInScreen()
{
    const auto builtIn = DisplayTopology::builtInScreen();
    if (!window_ || !builtIn)
        return;
    const auto current = platform::current().displays().screenContaining(window_->frame());
    const auto currentID = current ? current->displayID : builtIn->displayID;
    if (currentID != builtIn->displayID)
        window_->setFrame(initialWindowFrame());
}

Rect AudiencePreviewWindowController::initialWindowFrame(std::optional<Rect> builtInVisible,
                                                         std::optional<Rect> mainVisible)
{
    const Rect base = builtInVisible ? *builtInVisible : mainVisible ? *mainVisible : Rect(80, 80, 960, 540);
    const double width = std::min(std::max(base.width() * 0.44, 560.0), 960.0);
    const double height = width * 9 / 16;
    return Rect(base.maxX() - width - 28, base.maxY() - height - 28, width, height);
}

Rect AudiencePreviewWindowController::initialWindowFrame() const
{
    std::optional<Rect> builtIn;
    if (auto s = DisplayTopology::builtInScreen())
        builtIn = s->visibleFrame;
    std::optional<Rect> main;
    if (auto s = platform::current().displays().mainScreen())
        main = s->visibleFrame;
    return initialWindowFrame(builtIn, main);
}

void AudiencePreviewWindowController::showOpacitySettings()
{
    auto* settings = new WindowSettingsViewController(
        QStringLiteral("外屏预览设置"), QStringLiteral("此透明度只影响内屏预览窗，不影响观众外屏、灵动岛或提词窗。"),
        preferences_.opacity(), false, false, nullptr, {});
    std::weak_ptr<Liveness> weak = liveness_;
    settings->onOpacityChanged = [weak](double value) {
        auto alive = weak.lock();
        if (!alive)
            return;
        alive->owner->preferences_.setOpacity(value);
        if (alive->owner->window_)
            alive->owner->window_->setAlphaValue(value);
    };
    settingsPopover_ = std::make_unique<platform::Popover>(settings);
    settingsPopover_->show(opacityButton_, platform::Popover::Edge::maxY);
}

} // namespace quorvia
