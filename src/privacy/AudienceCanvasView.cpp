#include "privacy/AudienceCanvasView.h"

#include "platform/capture/VideoSurface.h"
#include "platform/desktop/Window.h"

#include <QPaintEvent>
#include <QPainter>

namespace quorvia {

// The mirrored pointer: the cursor image fitted by aspect into its bounds.
class AudienceCanvasView::PointerLayer final : public QWidget {
public:
    explicit PointerLayer(QWidget* parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        hide();
    }
    void setImage(const QImage& image)
    {
        // The same cursor comes 30 times a second; it is drawn again only when it changed.
        if (image.cacheKey() == image_.cacheKey())
            return;
        image_ = image;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (image_.isNull())
            return;
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        QSizeF size = image_.deviceIndependentSize();
        size.scale(QSizeF(width(), height()), Qt::KeepAspectRatio);
        painter.drawImage(QRectF((width() - size.width()) / 2, (height() - size.height()) / 2, size.width(),
                                 size.height()),
                          image_);
    }

private:
    QImage image_;
};

AudienceCanvasView::AudienceCanvasView(const platform::Rect& frame, QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(int(frame.width()), int(frame.height()));

    surface_ = platform::VideoSurface::create(this);
    surface_->setGeometry(rect());
    // Stacked above the picture, like a layer with a higher z-position.
    cursorLayer_ = new PointerLayer(this);
    cursorLayer_->raise();
}

AudienceCanvasView::~AudienceCanvasView() = default;

void AudienceCanvasView::setMode(AudienceOutputMode mode)
{
    if (mode.kind == mode_.kind && mode.reason == mode_.reason && mode.kind == AudienceOutputMode::Kind::live)
        return;
    mode_ = std::move(mode);
    switch (mode_.kind) {
    case AudienceOutputMode::Kind::live:
        if (surface_)
            surface_->show();
        break;
    case AudienceOutputMode::Kind::frozen:
        if (surface_)
            surface_->show();
        cursorLayer_->hide();
        break;
    case AudienceOutputMode::Kind::standby:
    case AudienceOutputMode::Kind::safe:
        if (surface_) {
            surface_->hide();
            // No earlier picture may come back when the output goes live again.
            surface_->flushAndRemoveImage();
        }
        cursorLayer_->hide();
        break;
    }
    update();
}

void AudienceCanvasView::enqueue(const platform::SampleBuffer& buffer)
{
    if (mode_.kind == AudienceOutputMode::Kind::live && surface_)
        surface_->enqueueWhenReady(buffer);
}

void AudienceCanvasView::configurePointerSource(const platform::Rect& frame) { sourceScreenFrame_ = frame; }

void AudienceCanvasView::updatePointer(platform::Point globalLocation, const platform::CursorImage& cursor,
                                       bool isSuppressed)
{
    std::optional<double> windowScale;
    if (auto* top = window(); top && top != this && qobject_cast<platform::Window*>(top))
        windowScale = top->devicePixelRatioF();
    const auto layout = layoutAudiencePointer(mode_.kind, isSuppressed, sourceScreenFrame_,
                                              {double(width()), double(height())}, globalLocation, cursor,
                                              windowScale);
    if (!layout) {
        cursorLayer_->hide();
        return;
    }
    // Our widgets grow downwards; the layout grows upwards.
    const double left = layout->position.x - layout->anchor.x * layout->size.width;
    const double bottom = layout->position.y - layout->anchor.y * layout->size.height;
    const double top = height() - (bottom + layout->size.height);
    cursorLayer_->setImage(cursor.image);
    const QRect geometry = QRectF(left, top, layout->size.width, layout->size.height).toRect();
    if (cursorLayer_->geometry() != geometry)
        cursorLayer_->setGeometry(geometry);
    if (cursorLayer_->isHidden()) {
        cursorLayer_->show();
        cursorLayer_->raise();
    }
}

void AudienceCanvasView::prepareForShutdown()
{
    mode_ = AudienceOutputMode::safe(QStringLiteral("输出已停止"));
    cursorLayer_->hide();
    if (surface_) {
        surface_->hide();
        surface_->flushAndRemoveImage();
        delete surface_;
        surface_ = nullptr;
    }
}

bool AudienceCanvasView::isRendererHealthy() const
{
    return surface_ && surface_->status() != platform::VideoSurface::Status::failed;
}

bool AudienceCanvasView::isPointerShown() const { return !cursorLayer_->isHidden(); }

QRect AudienceCanvasView::pointerGeometry() const { return cursorLayer_->geometry(); }

void AudienceCanvasView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (surface_)
        surface_->setGeometry(rect());
}

void AudienceCanvasView::paintEvent(QPaintEvent* event)
{
    if (mode_.kind == AudienceOutputMode::Kind::live)
        return;
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::black);
    if (mode_.kind == AudienceOutputMode::Kind::frozen)
        return;

    // The card's rectangles, placed as in a y-up view: the title just above
    // the middle, the subtitle just below it.
    const double w = width();
    const double midY = height() / 2.0;
    QFont titleFont = font();
    titleFont.setPixelSize(54);
    titleFont.setWeight(QFont::DemiBold);
    painter.setFont(titleFont);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(40, midY - 80, w - 80, 72), Qt::AlignHCenter | Qt::AlignTop, mode_.cardTitle());

    QFont subtitleFont = font();
    subtitleFont.setPixelSize(24);
    subtitleFont.setWeight(QFont::Normal);
    painter.setFont(subtitleFont);
    // The platform's secondary label colour on a dark background.
    painter.setPen(QColor(235, 235, 245, 153));
    painter.drawText(QRectF(40, midY + 8, w - 80, 44), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
                     mode_.cardSubtitle());
}

} // namespace quorvia
