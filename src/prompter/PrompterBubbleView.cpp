#include "prompter/PrompterBubbleView.h"

#include "platform/desktop/AccessibleButton.h"
#include "platform/desktop/ScreenSpace.h"
#include "platform/desktop/Symbols.h"
#include "platform/desktop/Window.h"
#include "look/DarkColours.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

namespace quorvia {

PrompterBubbleView::PrompterBubbleView(QWidget* parent) : QWidget(parent), iconView_(new QLabel(this))
{
    iconView_->setPixmap(platform::symbolPixmap(QStringLiteral("arrow.up.left.and.arrow.down.right"),
                                                dark_colours::white(), 19, devicePixelRatioF()));
    iconView_->setFixedSize(19, 19);
    iconView_->setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
    setCursor(Qt::OpenHandCursor);
    static const bool asButton = (platform::presentAsButton(staticMetaObject, [](QWidget* bubble) {
                                      auto* view = static_cast<PrompterBubbleView*>(bubble);
                                      if (view->onActivate)
                                          view->onActivate();
                                  }),
                                  true);
    (void)asButton;
    setAccessibleName(QStringLiteral("展开提词窗"));
    setToolTip(QStringLiteral("拖动圆点；点击恢复提词窗"));
}

void PrompterBubbleView::paintEvent(QPaintEvent*)
{
    iconView_->move((width() - iconView_->width()) / 2, (height() - iconView_->height()) / 2);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF circle = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setBrush(dark_colours::prompterPlum());
    painter.setPen(QPen(dark_colours::prompterBubbleRing(), 1));
    painter.drawEllipse(circle);
}

void PrompterBubbleView::mousePressEvent(QMouseEvent* event)
{
    auto* window = qobject_cast<platform::Window*>(this->window());
    if (event->button() != Qt::LeftButton || !window) {
        tracker_.reset();
        return;
    }
    tracker_.emplace(platform::fromQtGlobal(event->globalPosition()), window->frame().origin);
    event->accept();
}

void PrompterBubbleView::mouseMoveEvent(QMouseEvent* event)
{
    if (!tracker_)
        return;
    if (const auto origin = tracker_->moved(platform::fromQtGlobal(event->globalPosition())); origin && onDrag)
        onDrag(*origin);
    event->accept();
}

void PrompterBubbleView::mouseReleaseEvent(QMouseEvent* event)
{
    if (!tracker_ || event->button() != Qt::LeftButton)
        return;
    const bool click = tracker_->releasedAsClick();
    tracker_.reset();
    event->accept();
    if (click && onActivate)
        onActivate();
}

} // namespace quorvia
