#pragma once

#include "platform/core/Geometry.h"
#include "platform/desktop/PointerService.h"
#include "platform/capture/SampleBuffer.h"
#include "privacy/AudienceOutputMode.h"

#include <memory>

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
    bool isRendererHealthy() const;
    // Tears the window down; a later show builds a new one.
    void destroy();

    platform::Window* window() const { return window_.get(); }
    AudienceCanvasView* canvas() const { return canvas_; }

private:
    std::unique_ptr<platform::Window> window_;
    AudienceCanvasView* canvas_ = nullptr; // owned by the window
};

} // namespace quorvia
