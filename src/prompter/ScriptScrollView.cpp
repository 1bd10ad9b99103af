#include "prompter/ScriptScrollView.h"

#include "look/DarkColours.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QWheelEvent>

namespace quorvia {

ScriptScrollView::ScriptScrollView(QWidget* parent) : QWidget(parent), layout_(*this), model_(layout_)
{
    model_.notificationSender = this;
    model_.onRebuild = [this] { layout_.build(model_); };
    model_.onHighlightChanged = [this] {
        layout_.applyHighlight(model_.highlightedRange(), model_.spokenRange());
        update();
    };
    model_.onScrolled = [this] { update(); };
    model_.onSectionChanged = [this](int index) {
        if (onSectionChanged)
            onSectionChanged(index);
    };
    model_.onReachedEnd = [this] {
        if (onReachedEnd)
            onReachedEnd();
    };
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setAutoFillBackground(false);
    setFocusPolicy(Qt::NoFocus);
}

ScriptScrollView::~ScriptScrollView()
{
    model_.onRebuild = nullptr;
    model_.onHighlightChanged = nullptr;
    model_.onScrolled = nullptr;
}

void ScriptScrollView::followGeometry()
{
    if (layout_.followViewWidth())
        model_.layoutChanged();
}

void ScriptScrollView::setSections(const QStringList& sections, int highlight, const std::vector<int>& spokenProgress)
{
    followGeometry();
    model_.setSections(sections, highlight, spokenProgress);
}

void ScriptScrollView::setSpokenProgress(int rawOffset, int sectionIndex)
{
    followGeometry();
    model_.setSpokenProgress(rawOffset, sectionIndex);
}

void ScriptScrollView::decreaseFontSize()
{
    followGeometry();
    model_.decreaseFontSize();
    if (onMoved)
        onMoved();
}

void ScriptScrollView::increaseFontSize()
{
    followGeometry();
    model_.increaseFontSize();
    if (onMoved)
        onMoved();
}

void ScriptScrollView::advance(double seconds, int charactersPerMinute)
{
    followGeometry();
    model_.advance(seconds, charactersPerMinute);
}

int ScriptScrollView::readingCharacterIndex()
{
    followGeometry();
    return model_.readingCharacterIndex();
}

void ScriptScrollView::restoreReading(int rawOffset)
{
    followGeometry();
    model_.restoreReading(rawOffset);
}

void ScriptScrollView::scrollToSection(int index)
{
    followGeometry();
    model_.scrollToSection(index);
}

void ScriptScrollView::resetToTop()
{
    followGeometry();
    model_.resetToTop();
}

void ScriptScrollView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layout_.followViewWidth();
    model_.layoutChanged();
    if (onMoved)
        onMoved();
}

void ScriptScrollView::wheelEvent(QWheelEvent* event)
{
    double delta = -event->pixelDelta().y();
    if (event->pixelDelta().isNull())
        delta = -event->angleDelta().y() / 120.0 * 3 * model_.fontSize() * 1.4;
    model_.scrollByUser(delta);
    event->accept();
    if (onMoved)
        onMoved();
}

void ScriptScrollView::paintEvent(QPaintEvent*)
{
    followGeometry();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    const double offset = model_.scrolledOffset();
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = QRectF(0, offset, width(), height());
    context.palette.setColor(QPalette::Text, dark_colours::promptDimText());
    QTextDocument& document = layout_.document();

    painter.save();
    painter.translate(0, -offset);
    document.documentLayout()->draw(&painter, context);
    painter.restore();

    painter.fillRect(QRectF(14, height() * ScriptScrollModel::readingFraction, width() - 28, 1), dark_colours::readingLine());
}

} // namespace quorvia
