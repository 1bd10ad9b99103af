#include "platform/desktop/Window.h"

#include "platform/core/NotificationCenter.h"
#include "platform/Platform.h"
#include "platform/desktop/ScreenSpace.h"
#include "platform/desktop/WindowSystem.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <utility>

namespace quorvia::platform {

namespace {
std::vector<Window*>& liveWindows()
{
    static std::vector<Window*> windows;
    return windows;
}

WindowSystem* windowSystem() { return hasCurrent() ? current().windowSystem() : nullptr; }

void setOnAllDesktops(QWidget& window, bool sticky)
{
    if (WindowSystem* system = windowSystem())
        system->setOnAllDesktops(window, sticky);
}
} // namespace

Window::Window(const Rect& frame, WindowStyle style) : QWidget(nullptr), style_(style), frame_(frame), asked_(frame), place_(frame), former_(frame)
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    liveWindows().push_back(this);
    applyFlags();
    applyGeometry();
}

Window::~Window()
{
    // The server may give a later window of ours this one's id.
    if (WindowSystem* system = windowSystem(); system && boundRule_)
        system->keepInside(*this, std::nullopt, nullptr);
    auto& windows = liveWindows();
    windows.erase(std::remove(windows.begin(), windows.end(), this), windows.end());
}

std::vector<Window*> Window::allWindows() { return liveWindows(); }

void Window::setFrame(const Rect& frame) { setFrame(frame, frame); }

void Window::setFrame(const Rect& frame, const Rect& from)
{
    place_ = bounded(frame, from, &Bounds::placeArea).value_or(frame);
    keepFrame(frame, from);
}

void Window::keepFrame(const Rect& frame) { keepFrame(frame, frame); }

void Window::keepFrame(const Rect& frame, const Rect& from)
{
    const auto kept = bounded(frame, from);
    if (!kept)
        return;
    const Rect old = frame_;
    frame_ = asked_ = *kept;
    applyGeometry();
    announce(old);
}

void Window::setBound(std::function<std::optional<Bounds>()> bounds, FrameRule rule)
{
    const bool lifted = boundRule_ && !rule;
    bounds_ = std::move(bounds);
    boundRule_ = rule;
    if (WindowSystem* system = windowSystem(); system && lifted)
        system->keepInside(*this, std::nullopt, nullptr);
    rereadBound();
}

void Window::rereadBound()
{
    const auto bounds = bounds_ ? bounds_() : std::nullopt;
    tellWindowSystemBound(bounds);
}

std::optional<Rect> Window::bounded(const Rect& frame, const Rect& from, Rect Bounds::*area)
{
    if (!bounds_ || !boundRule_)
        return frame;
    const std::optional<Bounds> bounds = bounds_();
    tellWindowSystemBound(bounds);
    if (!bounds)
        return std::nullopt;
    return boundRule_(frame, from, (*bounds).*area);
}

void Window::tellWindowSystemBound(const std::optional<Bounds>& bounds)
{
    WindowSystem* system = windowSystem();
    if (!system || !boundRule_)
        return;
    if (!bounds)
        return system->keepInside(*this, std::nullopt, boundRule_);
    system->keepInside(*this, KeptArea{toQtGlobal(bounds->area), bounds->display, toQtGlobal(bounds->displayFrame)}, boundRule_);
}

bool Window::standsWhereAsked() const { return toQtGlobal(frame_) == toQtGlobal(asked_); }

void Window::returnToPlace()
{
    // Asked anew too, so the server's echo of the place is known as ours.
    if (toQtGlobal(frame_) != toQtGlobal(place_) || toQtGlobal(asked_) != toQtGlobal(place_))
        setFrame(place_);
}

void Window::setFrameOrigin(Point origin) { setFrame(Rect(origin, frame_.size)); }

void Window::setLevel(int level)
{
    level_ = level;
    applyFlags();
}

void Window::setCollectionBehavior(CollectionBehavior behavior)
{
    collection_ = behavior;
    if (testAttribute(Qt::WA_WState_Created))
        setOnAllDesktops(*this, contains(behavior, CollectionBehavior::canJoinAllSpaces));
}

void Window::setCanBecomeKey(bool value)
{
    canBecomeKey_ = value;
    applyFlags();
}

void Window::setIgnoresMouseEvents(bool value)
{
    ignoresMouse_ = value;
    setAttribute(Qt::WA_TransparentForMouseEvents, value);
    applyFlags();
}

void Window::setAlphaValue(double alpha)
{
    alpha_ = std::clamp(alpha, 0.0, 1.0);
    setWindowOpacity(alpha_);
}

void Window::setBackgroundColor(const QColor& color)
{
    QPalette p = palette();
    p.setColor(QPalette::Window, color);
    setPalette(p);
    setAutoFillBackground(true);
}

void Window::setShape(const WindowShape& shape)
{
    shape_ = shape;
    updateShapeAndShadow();
}

void Window::setHasShadow(bool hasShadow)
{
    if (hasShadow == hasShadow_)
        return;
    hasShadow_ = hasShadow;
    updateShapeAndShadow();
}

bool Window::isCompositing()
{
    WindowSystem* system = windowSystem();
    return system && system->windowsAreComposited();
}

namespace {
QPainterPath shapePath(const WindowShape& shape, const QRectF& rect)
{
    QPainterPath path;
    switch (shape.kind) {
    case WindowShape::Kind::rectangle: path.addRect(rect); break;
    case WindowShape::Kind::roundedRectangle: path.addRoundedRect(rect, shape.cornerRadius, shape.cornerRadius); break;
    case WindowShape::Kind::ellipse: path.addEllipse(rect); break;
    }
    return path;
}
} // namespace

QRegion Window::shapeRegion(const WindowShape& shape, const QSize& size)
{
    if (shape.kind == WindowShape::Kind::rectangle)
        return QRegion(QRect(QPoint(), size));
    // Whole pixels: a pixel belongs to the shape when its centre does.
    return QRegion(shapePath(shape, QRectF(QPointF(), QSizeF(size))).toFillPolygon().toPolygon());
}

void Window::updateShapeAndShadow()
{
    const bool shaped = shape_.kind != WindowShape::Kind::rectangle;
    const bool composited = (shaped || hasShadow_) && isCompositing();
    const QMargins margins = composited && hasShadow_ ? shadowExtent : QMargins();
    if (margins != shadowMargins_) {
        shadowMargins_ = margins;
        if (layout())
            layout()->setContentsMargins(margins);
        applyGeometry();
        update();
    }
    if (shaped && !composited)
        setMask(shapeRegion(shape_, toQtGlobal(frame_).marginsRemoved(decorations_).size()));
    else
        clearMask();
}

void Window::paintEvent(QPaintEvent* event)
{
    if (shadowMargins_.isNull())
        return QWidget::paintEvent(event);
    // A soft shadow, darkest under the shape, fading out over the margin.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF body = QRectF(rect()).marginsRemoved(shadowMargins_.toMarginsF());
    const int steps = 12;
    for (int i = steps; i >= 1; --i) {
        const double spread = double(i);
        const QRectF ring = body.adjusted(-spread, -spread * 0.6 + 4, spread, spread + 4);
        WindowShape grown = shape_;
        grown.cornerRadius += spread;
        painter.fillPath(shapePath(grown, ring), QColor(0, 0, 0, 10));
    }
    // The shape itself is the content's to draw; nothing of the shadow under it.
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    painter.fillPath(shapePath(shape_, body), Qt::transparent);
}

void Window::setContentView(QWidget* view)
{
    if (content_ == view)
        return;
    auto* box = qobject_cast<QVBoxLayout*>(layout());
    if (!box) {
        box = new QVBoxLayout(this);
        box->setContentsMargins(shadowMargins_);
        box->setSpacing(0);
    }
    if (content_) {
        box->removeWidget(content_);
        content_->deleteLater();
    }
    content_ = view;
    if (view) {
        box->addWidget(view);
        view->show();
    }
}

void Window::orderFront() { present(false); }
void Window::makeKeyAndOrderFront() { present(true); }
void Window::orderFrontLeavingKeyboard() { present(false, true); }

void Window::orderOut()
{
    if (isVisible())
        hide();
}

void Window::present(bool activate, bool leavingKeyboard)
{
    applyFlags();
    if (!isVisible()) {
        // Shown where it stood when last asked, it could stand where the
        // displays have since put the audience's screen.
        if (const auto kept = bounded(frame_, frame_); kept && *kept != frame_) {
            const Rect old = frame_;
            frame_ = asked_ = *kept;
            announce(old);
        }
        applyGeometry();
        if (leavingKeyboard)
            showLeavingKeyboard(*this);
        else
            QWidget::show();
    }
    raise();
    if (activate) {
        noteOpener();
        sendKeyboardTo(*this);
    }
    raiseModalsAbove(*this);
}

void Window::applyFlags()
{
    Qt::WindowFlags flags = contains(style_, WindowStyle::popover) ? Qt::Popup : isPanel() ? Qt::Tool : Qt::Window;
    if (!contains(style_, WindowStyle::titled)) {
        flags |= Qt::FramelessWindowHint;
    } else {
        flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
        if (contains(style_, WindowStyle::closable))
            flags |= Qt::WindowCloseButtonHint;
        if (contains(style_, WindowStyle::miniaturizable))
            flags |= Qt::WindowMinimizeButtonHint;
        if (contains(style_, WindowStyle::resizable))
            flags |= Qt::WindowMaximizeButtonHint;
    }
    if (level_ >= floatingLevel)
        flags |= Qt::WindowStaysOnTopHint;
    // Overlays must stay above everything, which only an unmanaged window can.
    if (level_ >= overlayLevel)
        flags |= Qt::X11BypassWindowManagerHint;
    if (ignoresMouse_)
        flags |= Qt::WindowTransparentForInput;
    if (!canBecomeKey())
        flags |= Qt::WindowDoesNotAcceptFocus;

    setAttribute(Qt::WA_ShowWithoutActivating,
                 !canBecomeKey() || contains(style_, WindowStyle::nonactivatingPanel));
    if (flags == windowFlags())
        return;
    const bool wasVisible = isVisible();
    setWindowFlags(flags);
    // Qt hides a visible window whose flags change.
    if (wasVisible) {
        applyGeometry();
        QWidget::show();
        raiseModalsAbove(*this);
    }
}

QRect Window::qtGeometry(const Rect& frame) const
{
    return toQtGlobal(frame).marginsRemoved(decorations_).marginsAdded(shadowMargins_);
}

void Window::applyGeometry()
{
    if (WindowSystem* system = windowSystem(); system && boundRule_)
        system->asking(*this, toQtGlobal(frame_).marginsAdded(shadowMargins_));
    applyingGeometry_ = true;
    setGeometry(qtGeometry(frame_));
    applyingGeometry_ = false;
    if (!mask().isEmpty())
        setMask(shapeRegion(shape_, toQtGlobal(frame_).marginsRemoved(decorations_).size()));
}

void Window::adoptQtGeometry()
{
    if (applyingGeometry_)
        return;
    // As a window manager takes a shown window into its frame, Qt may report
    // a place the window has only for a moment (the screen's corner), and
    // still hold it once the window is on screen: until then nothing counts,
    // and then the server, not Qt, says where the window stands.
    const bool shown = isVisible();
    if (shown && (!windowHandle() || !windowHandle()->isExposed()))
        return;
    QRect inner = geometry();
    // Qt's geometry is whole pixels; only a change the frame cannot explain is news.
    if (inner.marginsRemoved(shadowMargins_).marginsAdded(decorations_) == toQtGlobal(frame_))
        return;
    if (WindowSystem* system = windowSystem(); system && shown)
        if (const auto origin = system->innerOrigin(*this))
            inner.moveTopLeft(*origin);
    const QRect actual = inner.marginsRemoved(shadowMargins_).marginsAdded(decorations_);
    if (actual == toQtGlobal(frame_))
        return;
    const Rect old = frame_;
    frame_ = fromQtGlobal(QRectF(actual));
    announce(old);
}

void Window::adoptDecorations()
{
    // Only a window the manager has put on screen has its decorations; before
    // that Qt answers none, which must not undo what an earlier showing taught.
    QWindow* handle = windowHandle();
    if (!handle || !isVisible() || !handle->isExposed())
        return;
    const QMargins margins = handle->frameMargins();
    if (margins == decorations_)
        return;
    decorations_ = margins;
    // The frame stays where it was asked for; the inner window gives way to the decorations.
    applyGeometry();
}

void Window::announce(const Rect& old)
{
    const bool moved = old.origin != frame_.origin, resized = old.size != frame_.size;
    former_ = old;
    if (moved || resized)
        NotificationCenter::defaultCenter().post(frameWillBeAnsweredNotification, this);
    if (moved) {
        if (onDidMove)
            onDidMove();
        NotificationCenter::defaultCenter().post(didMoveNotification, this);
    }
    if (resized) {
        if (onDidResize)
            onDidResize();
        NotificationCenter::defaultCenter().post(didResizeNotification, this);
    }
}

void Window::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    adoptDecorations();
    adoptQtGeometry();
}

void Window::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    adoptDecorations();
    adoptQtGeometry();
}

void Window::closeEvent(QCloseEvent* event)
{
    if (onWillClose)
        onWillClose();
    NotificationCenter::defaultCenter().post(willCloseNotification, this);
    event->accept();
}

void Window::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Its native window may be new: the window system learns it.
    rereadBound();
    // A compositor may have come or gone since the window was last up.
    if (shape_.kind != WindowShape::Kind::rectangle || hasShadow_)
        updateShapeAndShadow();
    if (contains(collection_, CollectionBehavior::canJoinAllSpaces))
        setOnAllDesktops(*this, true);
    // The native window exists from the first show on; watching it is harmless when repeated.
    if (windowHandle())
        windowHandle()->installEventFilter(this);
}

bool Window::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == windowHandle() && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress))
        noteActedIn();
    if (event->type() != QEvent::Expose || watched != windowHandle() || !windowHandle()->isExposed())
        return QWidget::eventFilter(watched, event);
    // Put on screen, the window has the manager's decorations around it, and its place.
    adoptDecorations();
    adoptQtGeometry();
    // The widget draws its picture while the exposure is handled: a call
    // queued now runs once that picture is on screen.
    if (onFirstPaint) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (auto painted = std::exchange(onFirstPaint, nullptr))
                    painted();
            },
            Qt::QueuedConnection);
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace quorvia::platform
