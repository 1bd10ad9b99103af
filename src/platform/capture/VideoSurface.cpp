#include "platform/capture/VideoSurface.h"

#include "platform/core/MainQueue.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPaintEngine>
#include <QPointer>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <latch>
#include <vector>

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
    const bool follows = buffer.sequence != 0 && buffer.sequence == sequence_ + 1 && !image_.isNull()
                         && image_.size() == buffer.image.size();
    image_ = buffer.image;
    sequence_ = buffer.sequence;
    status_ = Status::rendering;
    const QSize target = pixelSize();
    if (!target.isEmpty() && target != image_.size()) {
        // Painted when the scaled picture is ready.
        scaleForScreen();
        return;
    }
    if (!follows || !buffer.dirtyRegion) {
        update();
        return;
    }
    // The picture before it is on screen: only what changed is copied.
    const double ratio = devicePixelRatioF();
    const QPoint origin = contentRect().topLeft().toPoint();
    QRegion changed;
    for (const QRect& rect : *buffer.dirtyRegion)
        changed += QRectF(QPointF(rect.topLeft()) / ratio, QSizeF(rect.size()) / ratio).toAlignedRect().translated(origin);
    if (!changed.isEmpty())
        update(changed);
}

QSize VideoSurface::pixelSize() const
{
    return (contentRect().size() * devicePixelRatioF()).toSize();
}

void VideoSurface::scaleForScreen()
{
    // One picture at a time; the newest frame follows when it is done.
    if (scaling_ || image_.isNull())
        return;
    const QSize target = pixelSize();
    if (target.isEmpty() || target == image_.size())
        return;
    if (!scaler_)
        scaler_ = std::make_shared<SerialQueue>(QStringLiteral("com.local.quorvia.audience-scale"));
    scaling_ = true;
    QPointer<VideoSurface> self(this);
    scaler_->async([self, source = image_, target, generation = generation_] {
        QImage scaled = source.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        MainQueue::async([self, scaled = std::move(scaled), key = source.cacheKey(), generation]() mutable {
            if (!self)
                return;
            self->scaling_ = false;
            if (generation != self->generation_)
                return;
            if (scaled.size() == self->pixelSize()) {
                scaled.setDevicePixelRatio(self->devicePixelRatioF());
                self->scaled_ = std::move(scaled);
                self->update();
            }
            if (self->image_.cacheKey() != key || self->scaled_.isNull())
                self->scaleForScreen();
        });
    });
}

void VideoSurface::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    scaleForScreen();
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
    sequence_ = 0;
    scaled_ = QImage();
    ++generation_;
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

bool VideoSurface::copyStraight(QPainter& painter, const QImage& source, const QRegion& region, QPoint origin)
{
    // Only into a plain image of the window, of the picture's own pixel
    // format, at one device pixel per pixel and moved, not turned or scaled.
    QPaintEngine* engine = painter.paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster || devicePixelRatioF() != 1
        || source.devicePixelRatio() != 1)
        return false;
    auto* target = dynamic_cast<QImage*>(engine->paintDevice());
    // Captured pictures are opaque (RGB32 keeps its alpha byte at 0xff), so
    // onto RGB32 or premultiplied ARGB32 a copy is exactly what drawing does.
    if (!target || source.format() != QImage::Format_RGB32
        || (target->format() != QImage::Format_RGB32 && target->format() != QImage::Format_ARGB32_Premultiplied))
        return false;
    const QTransform toDevice = painter.deviceTransform();
    if (toDevice.type() > QTransform::TxTranslate || toDevice.dx() != std::round(toDevice.dx())
        || toDevice.dy() != std::round(toDevice.dy()))
        return false;
    const QPoint shift(int(toDevice.dx()), int(toDevice.dy()));
    QRegion device = region.translated(shift) & target->rect();
    const QRegion clip = engine->systemClip();
    if (!clip.isEmpty())
        device &= clip;

    // Rows of the rectangles, in bands copied side by side: a whole frame is
    // several megabytes, more than one core moves in a frame's share of time.
    struct Rows {
        QRect rect;
        int first;
        int count;
    };
    std::vector<Rows> rows;
    int total = 0;
    for (const QRect& rect : device) {
        rows.push_back({rect, 0, rect.height()});
        total += rect.width() * rect.height();
    }
    auto copy = [&](const Rows& part) {
        const QPoint from = part.rect.topLeft() - shift - origin;
        const qsizetype bytes = qsizetype(part.rect.width()) * 4;
        for (int y = part.first; y < part.first + part.count; ++y)
            std::memcpy(target->scanLine(part.rect.top() + y) + part.rect.left() * 4,
                        source.constScanLine(from.y() + y) + from.x() * 4, std::size_t(bytes));
    };
    const int bands = total >= 512 * 1024 ? std::clamp(QThread::idealThreadCount(), 1, 4) : 1;
    if (bands == 1) {
        for (const Rows& part : rows)
            copy(part);
        return true;
    }
    std::vector<Rows> split;
    for (const Rows& part : rows) {
        const int step = (part.count + bands - 1) / bands;
        for (int first = 0; first < part.count; first += step)
            split.push_back({part.rect, first, std::min(step, part.count - first)});
    }
    std::latch done(std::ptrdiff_t(split.size() - 1));
    for (std::size_t i = 1; i < split.size(); ++i)
        QThreadPool::globalInstance()->start([&copy, &done, part = split[i]] {
            copy(part);
            done.count_down();
        });
    copy(split.front());
    done.wait();
    return true;
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
        // Same size on screen as captured: a plain copy of what is repainted.
        const QPoint origin = content.topLeft().toPoint();
        if (copyStraight(painter, image_, event->region() & content.toAlignedRect(), origin))
            return;
        const double ratio = devicePixelRatioF();
        for (const QRect& rect : event->region()) {
            const QRect part = rect.intersected(content.toAlignedRect());
            if (!part.isEmpty())
                painter.drawImage(part, image_,
                                  QRectF(QPointF(part.topLeft() - origin) * ratio, QSizeF(part.size()) * ratio));
        }
        return;
    }
    if (!scaled_.isNull() && scaled_.size() == pixels.toSize()) {
        // Scaled off the main thread; until the newest frame is, the one before it.
        const QPoint origin = content.topLeft().toPoint();
        if (!copyStraight(painter, scaled_, event->region() & QRect(origin, scaled_.size()), origin))
            painter.drawImage(origin, scaled_);
        return;
    }
    // Not scaled yet (a new size): smoothly here, this once.
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(content, image_);
}

} // namespace quorvia::platform
