#include "privacy/AudiencePreviewCanvasView.h"

#include "platform/capture/VideoSurface.h"
#include "look/DarkColours.h"

#include <QGridLayout>
#include <QLabel>

namespace quorvia {

AudiencePreviewCanvasView::AudiencePreviewCanvasView(QWidget* parent) : QWidget(parent)
{
    QPalette p = palette();
    p.setColor(QPalette::Window, dark_colours::black());
    setPalette(p);
    setAutoFillBackground(true);

    surface_ = platform::VideoSurface::create(this);

    statusLabel_ = new QLabel(QStringLiteral("等待外屏画面…"), this);
    QFont f;
    f.setPixelSize(14);
    f.setWeight(QFont::Medium);
    statusLabel_->setFont(f);
    QPalette lp = statusLabel_->palette();
    lp.setColor(QPalette::WindowText, dark_colours::secondaryLabel());
    statusLabel_->setPalette(lp);
    statusLabel_->setAlignment(Qt::AlignCenter);

    // Centred, at least 24 from either side.
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(24, 0, 24, 0);
    grid->addWidget(statusLabel_, 0, 0, Qt::AlignCenter);
}

void AudiencePreviewCanvasView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (surface_)
        surface_->setGeometry(rect());
    statusLabel_->raise();
}

void AudiencePreviewCanvasView::showStatus(const QString& status)
{
    statusLabel_->setText(status);
    statusLabel_->show();
    if (surface_)
        surface_->flushAndRemoveImage();
}

void AudiencePreviewCanvasView::enqueue(const platform::SampleBuffer& buffer)
{
    if (!buffer.isValid || !buffer.hasImage() || !surface_)
        return;
    statusLabel_->hide();
    surface_->enqueueWhenReady(buffer);
}

void AudiencePreviewCanvasView::prepareForShutdown()
{
    showStatus(QStringLiteral("预览已关闭"));
    if (surface_) {
        surface_->hide();
        surface_->deleteLater();
        surface_ = nullptr;
    }
}

} // namespace quorvia
