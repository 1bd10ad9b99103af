#pragma once

#include "platform/core/Geometry.h"
#include "platform/desktop/PointerService.h"
#include "platform/capture/SampleBuffer.h"
#include "privacy/AudienceOutputMode.h"

#include <QWidget>

#include <optional>

namespace quorvia {

namespace platform {
class VideoSurface;
}

// Where the mirrored pointer goes inside the canvas, in the canvas's own y-up
// space (origin bottom-left).
struct AudiencePointerLayout {
    platform::Rect contentRect; // where the fitted picture lies
    platform::Point position;   // where the hot spot lands
    platform::Size size;        // the pointer layer's size in points
    platform::Point anchor;     // unit point of the layer placed at position, from its bottom-left
    double scale = 2.0;
};

// Maps a global pointer location onto the canvas, or nothing when the pointer
// must be hidden.
std::optional<AudiencePointerLayout> layoutAudiencePointer(AudienceOutputMode::Kind mode, bool isSuppressed,
                                                           const std::optional<platform::Rect>& sourceScreenFrame,
                                                           const platform::Size& bounds,
                                                           platform::Point globalLocation,
                                                           const platform::CursorImage& cursor,
                                                           std::optional<double> windowScale);

// The audience window's content: standby and safe cards, the captured picture
// fitted by aspect, and the pointer drawn as a layer of its own.
class AudienceCanvasView final : public QWidget {
public:
    explicit AudienceCanvasView(const platform::Rect& frame, QWidget* parent = nullptr);
    ~AudienceCanvasView() override;

    void setMode(AudienceOutputMode mode);
    const AudienceOutputMode& mode() const { return mode_; }
    void enqueue(const platform::SampleBuffer& buffer);
    void configurePointerSource(const platform::Rect& frame);
    void updatePointer(platform::Point globalLocation, const platform::CursorImage& cursor, bool isSuppressed);
    void prepareForShutdown();
    bool isRendererHealthy() const;

    // For the owner's checks and for tests.
    platform::VideoSurface* videoSurface() const { return surface_; }
    bool isPointerShown() const;
    QRect pointerGeometry() const; // in widget (y-down) coordinates

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    class PointerLayer;

    platform::VideoSurface* surface_ = nullptr;
    PointerLayer* cursorLayer_ = nullptr;
    AudienceOutputMode mode_;
    std::optional<platform::Rect> sourceScreenFrame_;
};

} // namespace quorvia
