#include "island/IslandCompactTriggerView.h"

#include "platform/desktop/AccessibleButton.h"
#include "platform/desktop/Symbols.h"
#include "look/DarkColours.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace quorvia {

IslandCompactTriggerView::IslandCompactTriggerView(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setCursor(Qt::PointingHandCursor);
    static const bool asButton = (platform::presentAsButton(staticMetaObject, [](QWidget* trigger) {
                                      auto* view = static_cast<IslandCompactTriggerView*>(trigger);
                                      if (view->onActivate)
                                          view->onActivate();
                                  }),
                                  true);
    (void)asButton;
    setAccessibleName(QStringLiteral("打开灵动岛"));

    hoverStack_ = new QWidget(this);
    auto* row = new QHBoxLayout(hoverStack_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(7);
    iconView_ = new QLabel;
    iconView_->setPixmap(platform::symbolPixmap(QStringLiteral("chevron.down"), dark_colours::white(), 13,
                                                devicePixelRatioF()));
    titleLabel_ = new QLabel(QStringLiteral("打开灵动岛"));
    QFont f;
    f.setPixelSize(12);
    f.setWeight(QFont::DemiBold);
    titleLabel_->setFont(f);
    QPalette p = titleLabel_->palette();
    p.setColor(QPalette::WindowText, dark_colours::white());
    titleLabel_->setPalette(p);
    row->addWidget(iconView_, 0, Qt::AlignVCenter);
    row->addWidget(titleLabel_, 0, Qt::AlignVCenter);
    hoverStack_->setAttribute(Qt::WA_TransparentForMouseEvents);
    hoverStack_->hide();
}

bool IslandCompactTriggerView::hoverContentVisible() const { return !hoverStack_->isHidden(); }

void IslandCompactTriggerView::setHovered(bool hovered)
{
    hovered_ = hovered;
    hoverStack_->setVisible(hovered);
    layoutHoverStack();
    update();
}

void IslandCompactTriggerView::enterEvent(QEnterEvent*)
{
    if (onHoverChanged)
        onHoverChanged(true);
}

void IslandCompactTriggerView::leaveEvent(QEvent*)
{
    if (onHoverChanged)
        onHoverChanged(false);
}

void IslandCompactTriggerView::mousePressEvent(QMouseEvent*)
{
    if (onActivate)
        onActivate();
}

void IslandCompactTriggerView::paintEvent(QPaintEvent*)
{
    if (!hovered_)
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 20, 20);
    p.fillPath(path, dark_colours::black());
    p.setPen(QPen(dark_colours::islandBorder(), 1));
    p.drawPath(path);
}

void IslandCompactTriggerView::resizeEvent(QResizeEvent*) { layoutHoverStack(); }

void IslandCompactTriggerView::layoutHoverStack()
{
    const QSize size = hoverStack_->sizeHint();
    hoverStack_->setGeometry((width() - size.width()) / 2, height() - 11 - size.height(), size.width(),
                             size.height());
}

} // namespace quorvia
