#pragma once

#include "platform/capture/SampleBuffer.h"

#include <QWidget>

class QPainter;

#include <cstdint>
#include <functional>
#include <memory>

namespace quorvia::platform {

class SerialQueue;

// Draws captured frames, the whole picture fitted by aspect and centred on
// black. Keeps the renderer states that callers consult before each frame.
// A picture of another size than it takes on screen is scaled smoothly on a
// queue of its own, so painting it on the main thread is a plain copy.
class VideoSurface : public QWidget {
public:
    enum class Status { unknown, rendering, failed };
    using Factory = std::function<VideoSurface*(QWidget* parent)>;

    explicit VideoSurface(QWidget* parent = nullptr);

    // Builds the surface through the installed factory (tests install fakes).
    static VideoSurface* create(QWidget* parent);
    // Returns the previous factory; an empty one restores the default.
    static Factory setFactory(Factory factory);

    virtual Status status() const { return status_; }
    virtual bool requiresFlushToResumeDecoding() const { return false; }
    virtual bool isReadyForMoreMediaData() const { return true; }

    virtual void enqueue(const SampleBuffer& buffer);
    // Flushes a failed renderer, or one that asks for it, first; a renderer
    // that is not ready for more drops the frame.
    void enqueueWhenReady(const SampleBuffer& buffer);
    // Resets the renderer and keeps the picture on screen.
    virtual void flush();
    // Resets the renderer and clears the picture to black.
    virtual void flushAndRemoveImage();

    const QImage& displayedImage() const { return image_; }
    // Where the picture lies inside the widget, in widget coordinates.
    QRectF contentRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void setStatus(Status status) { status_ = status; }

private:
    // The picture's size on screen in device pixels; empty when nothing is shown.
    QSize pixelSize() const;
    // Copies the part of a picture placed at origin under the region (widget
    // coordinates) straight into the window's picture; false when that cannot
    // be done exactly.
    bool copyStraight(QPainter& painter, const QImage& source, const QRegion& region, QPoint origin);
    void scaleForScreen();

    Status status_ = Status::unknown;
    QImage image_;
    // The sequence of the picture on screen, so the next one of its stream
    // repaints only where it differs.
    std::uint64_t sequence_ = 0;
    // The newest picture the scaling queue has finished, at pixelSize().
    QImage scaled_;
    bool scaling_ = false;
    // Results of scaling begun before the picture was removed are dropped.
    std::uint64_t generation_ = 0;
    std::shared_ptr<SerialQueue> scaler_;
};

} // namespace quorvia::platform
