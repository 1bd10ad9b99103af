#include "platform/VideoSurface.h"

#include <QPaintEvent>
#include <QPainter>

namespace quorvia::platform {

namespace {
VideoSurface::Factory& factorySlot()
{
    static VideoSurface::Factory factory;
    return factory;
}
} // namespace

VideoSurface::VideoSurface(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
}

VideoSurface* VideoSurface::create(QWidget* parent)
{
    if (auto& factory = factorySlot())
        return factory(parent);
    return new VideoSurface(parent);
}

VideoSurface::Factory VideoSurface::setFactory(Factory factory)
{
    auto previous = std::move(factorySlot());
    factorySlot() = std::move(factory);
    return previous;
}

void VideoSurface::enqueue(const SampleBuffer& buffer)
{
    if (status_ == Status::failed)
        return;
    if (!buffer.isValid || buffer.image.isNull()) {
        // An undrawable frame leaves the renderer failed until it is flushed.
        status_ = Status::failed;
        return;
    }
    image_ = buffer.image;
    status_ = Status::rendering;
    update();
}

void VideoSurface::enqueueWhenReady(const SampleBuffer& buffer)
{
    if (status() == Status::failed || requiresFlushToResumeDecoding())
        flush();
    if (isReadyForMoreMediaData())
        enqueue(buffer);
}

void VideoSurface::flush()
{
    if (status_ == Status::failed)
        status_ = Status::unknown;
}

void VideoSurface::flushAndRemoveImage()
{
    status_ = Status::unknown;
    image_ = QImage();
    update();
}

QRectF VideoSurface::contentRect() const
{
    const QRectF bounds = rect();
    if (image_.isNull() || bounds.isEmpty())
        return {};
    QSizeF size = image_.deviceIndependentSize();
    size.scale(bounds.size(), Qt::KeepAspectRatio);
    return QRectF(bounds.center().x() - size.width() / 2, bounds.center().y() - size.height() / 2, size.width(),
                  size.height());
}

void VideoSurface::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRectF content = contentRect();
    // Black only where the picture does not cover: the bars around it.
    const QRegion bars = QRegion(event->rect()) - content.toAlignedRect().adjusted(1, 1, -1, -1);
    for (const QRect& bar : bars)
        painter.fillRect(bar, Qt::black);
    if (image_.isNull())
        return;
    const QSizeF pixels = content.size() * devicePixelRatioF();
    if (qFuzzyCompare(pixels.width(), double(image_.width())) && qFuzzyCompare(pixels.height(), double(image_.height()))
        && content.topLeft() == content.topLeft().toPoint()) {
        // Same size on screen as captured: a plain copy, no scaling.
        painter.drawImage(content.topLeft(), image_);
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(content, image_);
}

} // namespace quorvia::platform
