#include "privacy/AudienceOutputWindowController.h"

#include "platform/desktop/Window.h"
#include "privacy/AudienceCanvasView.h"

#include <utility>

namespace quorvia {

AudienceOutputWindowController::AudienceOutputWindowController() = default;

AudienceOutputWindowController::~AudienceOutputWindowController() { destroy(); }

void AudienceOutputWindowController::show(const platform::Rect& screenFrame, AudienceOutputMode mode)
{
    if (!window_ || !canvas_) {
        destroy();
        auto* canvas = new AudienceCanvasView(screenFrame);
        auto window = std::make_unique<platform::Window>(screenFrame, platform::WindowStyle::borderless);
        window->setContentView(canvas);
        window->setBackgroundColor(Qt::black);
        window->setLevel(platform::Window::overlayLevel);
        window->setCollectionBehavior(platform::CollectionBehavior::canJoinAllSpaces
                                      | platform::CollectionBehavior::stationary
                                      | platform::CollectionBehavior::ignoresCycle);
        window->setIgnoresMouseEvents(true);
        // The audience window must never appear in a captured picture itself.
        window->setSharingType(platform::SharingType::none);
        window_ = std::move(window);
        canvas_ = canvas;
    }
    heldOut_ = false;
    window_->setFrame(screenFrame);
    canvas_->setMode(std::move(mode));
    window_->orderFrontRegardless();
}

void AudienceOutputWindowController::follow(std::optional<platform::Rect> screenFrame)
{
    if (!window_ || (!heldOut_ && !window_->isVisible()))
        return;
    if (!screenFrame) {
        heldOut_ = true;
        window_->orderOut();
        return;
    }
    // Set even when unchanged: Qt's screens may have caught up with the
    // server since, and the same frame then lands elsewhere.
    window_->setFrame(*screenFrame);
    if (std::exchange(heldOut_, false))
        window_->orderFrontRegardless();
}

void AudienceOutputWindowController::setMode(AudienceOutputMode mode)
{
    if (canvas_)
        canvas_->setMode(std::move(mode));
}

void AudienceOutputWindowController::enqueue(const platform::SampleBuffer& buffer)
{
    if (canvas_)
        canvas_->enqueue(buffer);
}

void AudienceOutputWindowController::configurePointerSource(const platform::Rect& frame)
{
    if (canvas_)
        canvas_->configurePointerSource(frame);
}

void AudienceOutputWindowController::updatePointer(platform::Point globalLocation, const platform::CursorImage& cursor,
                                                   bool isSuppressed)
{
    if (canvas_)
        canvas_->updatePointer(globalLocation, cursor, isSuppressed);
}

void AudienceOutputWindowController::hideImmediately()
{
    heldOut_ = false;
    if (window_)
        window_->orderOut();
}

bool AudienceOutputWindowController::isRendererHealthy() const { return canvas_ && canvas_->isRendererHealthy(); }

void AudienceOutputWindowController::destroy()
{
    if (canvas_)
        canvas_->prepareForShutdown();
    if (window_) {
        window_->orderOut();
        window_->setContentView(nullptr);
        window_->close();
        window_.reset();
    }
    canvas_ = nullptr;
    heldOut_ = false;
}

} // namespace quorvia
