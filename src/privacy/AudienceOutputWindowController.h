#pragma once

#include "platform/core/Geometry.h"
#include "platform/desktop/PointerService.h"
#include "platform/capture/SampleBuffer.h"
#include "privacy/AudienceOutputMode.h"

#include <memory>
#include <optional>

namespace quorvia {

namespace platform {
class Window;
}
class AudienceCanvasView;

// The borderless full-screen window on one external display. It decides
// nothing: its owner says what it shows.
class AudienceOutputWindowController {
public:
    AudienceOutputWindowController();
    ~AudienceOutputWindowController();
    AudienceOutputWindowController(const AudienceOutputWindowController&) = delete;
    AudienceOutputWindowController& operator=(const AudienceOutputWindowController&) = delete;

    // Builds the window on first use and reuses it afterwards, even on
    // another screen; fits it to the screen's frame and brings it to the front.
    void show(const platform::Rect& screenFrame, AudienceOutputMode mode);
    void setMode(AudienceOutputMode mode);
    void enqueue(const platform::SampleBuffer& buffer);
    void configurePointerSource(const platform::Rect& frame);
    void updatePointer(platform::Point globalLocation, const platform::CursorImage& cursor, bool isSuppressed);
    // Orders the window out and keeps it for a later show.
    void hideImmediately();
    // After a change of the displays: fitted to its display's frame as it now
    // stands, or, given none, out of sight until it may stand there again.
    // A window hidden by its owner stays hidden.
    void follow(std::optional<platform::Rect> screenFrame);
    bool isRendererHealthy() const;
    // Tears the window down; a later show builds a new one.
    void destroy();

    platform::Window* window() const { return window_.get(); }
    AudienceCanvasView* canvas() const { return canvas_; }

private:
    std::unique_ptr<platform::Window> window_;
    AudienceCanvasView* canvas_ = nullptr; // owned by the window
    bool heldOut_ = false;
};

} // namespace quorvia
