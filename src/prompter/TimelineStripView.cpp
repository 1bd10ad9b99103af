#include "prompter/TimelineStripView.h"

#include "platform/core/MainQueue.h"
#include "look/DarkColours.h"
#include "prompter/TimelineStripCanvas.h"
#include "prompter/TimelineStripReload.h"

#include <QLabel>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>

namespace quorvia {
namespace {

void styleRowLabel(QLabel* label, TimelineStripDensity density)
{
    QFont font = label->font();
    font.setPixelSize(timelineLabelFontSize(density));
    font.setWeight(QFont::Medium);
    label->setFont(font);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, dark_colours::tertiaryLabel());
    label->setPalette(palette);
}

} // namespace

TimelineStripView::TimelineStripView(Density density, QWidget* parent)
    : QWidget(parent),
      density_(density),
      scrollView_(new TimelineStripScrollArea(this)),
      canvas_(new TimelineStripCanvas(density)),
      slideLabel_(new QLabel(QStringLiteral("PPT"), this)),
      demoLabel_(new QLabel(QStringLiteral("演示"), this))
{
    styleRowLabel(slideLabel_, density);
    styleRowLabel(demoLabel_, density);

    scrollView_->setFrameShape(QFrame::NoFrame);
    scrollView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scrollView_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scrollView_->setWidgetResizable(false);
    scrollView_->viewport()->setAutoFillBackground(false);
    scrollView_->setStyleSheet(QStringLiteral("QScrollArea { background: transparent; }"));
    // A thin scroller, so it fits the room the strip leaves under the rows.
    scrollView_->horizontalScrollBar()->setStyleSheet(QStringLiteral(
        "QScrollBar:horizontal { height: 8px; background: transparent; margin: 0; }"
        "QScrollBar::handle:horizontal { background: rgba(255, 255, 255, 70); border-radius: 4px; min-width: 24px; }"
        "QScrollBar::add-line:horizontal, QScrollBar::sub-line:horizontal { width: 0; }"
        "QScrollBar::add-page:horizontal, QScrollBar::sub-page:horizontal { background: transparent; }"));
    scrollView_->setWidget(canvas_);
    canvas_->setAutoFillBackground(false);

    QPointer<TimelineStripView> self(this);
    canvas_->onSelect = [self](int index) {
        if (self && self->onSelect)
            self->onSelect(index);
    };
    canvas_->onMove = [self](int from, int to) {
        if (self && self->onMove)
            self->onMove(from, to);
    };
    scrollView_->onViewportResized = [this] { fitCanvas(); };
    layoutStrip();
}

void TimelineStripView::reload(const std::vector<PromptTimelineBlock>& blocks, int selectedIndex)
{
    const bool revealNeeded = timelineRevealNeeded(blocks_, selectedIndex_, blocks, selectedIndex);
    blocks_ = blocks;
    selectedIndex_ = selectedIndex;
    canvas_->reload(blocks, selectedIndex);
    layoutStrip();
    if (!revealNeeded)
        return;
    // The card frames settle in this pass; reveal once it is over.
    QPointer<TimelineStripView> self(this);
    platform::MainQueue::async([self, selectedIndex] {
        if (self)
            self->canvas_->revealBlock(selectedIndex);
    });
}

void TimelineStripView::resizeEvent(QResizeEvent*)
{
    layoutStrip();
}

void TimelineStripView::layoutStrip()
{
    const QSizeF card = timelineCardSize(density_);
    const int labelWidth = 30;
    const int cardHeight = qRound(card.height());
    slideLabel_->setGeometry(0, 3, labelWidth, cardHeight);
    demoLabel_->setGeometry(0, 3 + cardHeight + qRound(timelineRowGap(density_)), labelWidth, cardHeight);
    const int scrollX = labelWidth + 7;
    scrollView_->setGeometry(scrollX, 0, std::max(0, width() - scrollX), height());
    fitCanvas();
}

void TimelineStripView::fitCanvas()
{
    const QWidget* viewport = scrollView_->viewport();
    canvas_->updateFrame(viewport->width(), viewport->height());
}

} // namespace quorvia
