#include "privacy/SafetyOverlayContentView.h"

#include "look/DarkColours.h"

#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace quorvia {

SafetyOverlayContentView::SafetyOverlayContentView(QWidget* column) : column_(column)
{
    QPalette p = palette();
    p.setColor(QPalette::Window, dark_colours::black());
    setPalette(p);
    setAutoFillBackground(true);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->addStretch(1);
    root->addWidget(column, 0, Qt::AlignHCenter);
    root->addStretch(1);
}

int SafetyOverlayContentView::columnWidth(int naturalWidth, int rootWidth)
{
    return std::max(0, std::min(naturalWidth, rootWidth - 80));
}

void SafetyOverlayContentView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    int natural = 0;
    for (const QLabel* label : column_->findChildren<QLabel*>())
        natural = std::max(natural, label->fontMetrics().horizontalAdvance(label->text()) + 8);
    // Two buttons and the gap between them per row.
    int buttons = 0;
    const auto list = column_->findChildren<QPushButton*>();
    for (int i = 0; i + 1 < list.size(); i += 2)
        buttons = std::max(buttons, 2 * std::max(list[i]->sizeHint().width(), list[i + 1]->sizeHint().width()) + 12);
    column_->setFixedWidth(columnWidth(std::max(natural, buttons), width()));
    // The layout placed the column before its new width; placed again now, the
    // first picture has it centred rather than a turn later.
    layout()->activate();
}

} // namespace quorvia
