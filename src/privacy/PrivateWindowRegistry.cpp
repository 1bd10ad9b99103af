#include "privacy/PrivateWindowRegistry.h"

#include "privacy/DisplayTopology.h"
#include "look/IslandTriggerPanel.h"
#include "privacy/PrivateWindowBoundary.h"
#include "privacy/PrivateWindowGeometry.h"
#include "platform/desktop/ScreenSpace.h"
#include "platform/application/StatusIconWindow.h"
#include "platform/Platform.h"
#include "platform/desktop/WindowSystem.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>

#include <algorithm>
#include <utility>

namespace quorvia {

using platform::Window;

namespace {
bool listed(const std::vector<Window*>& list, const QWidget* widget)
{
    return std::find(list.begin(), list.end(), widget) != list.end();
}

// A dialog's decorations: what its window manager draws around it. Qt may
// answer none for a moment while the manager sorts out new screens (openbox
// does): the ones last seen stand until Qt knows them again.
QMargins decorationsOf(QWidget& dialog)
{
    static const char* const seenKey = "quorviaDecorations";
    const QRect outer = dialog.frameGeometry(), inner = dialog.geometry();
    const QMargins now(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                       outer.bottom() - inner.bottom());
    if (!now.isNull()) {
        dialog.setProperty(seenKey, QVariantList{now.left(), now.top(), now.right(), now.bottom()});
        return now;
    }
    const QVariantList seen = dialog.property(seenKey).toList();
    return seen.size() == 4 ? QMargins(seen[0].toInt(), seen[1].toInt(), seen[2].toInt(), seen[3].toInt()) : now;
}

// Puts the dialog's whole frame at `frame` by its inner window, which stands
// where it is asked whatever Qt believes of the decorations then.
void placeFrame(QWidget& dialog, const QRect& frame, const QMargins& decorations)
{
    dialog.setGeometry(frame.marginsRemoved(decorations));
}

// A dialog shown again where it stood could stand on the audience's screen,
// if the displays were rearranged meanwhile: it comes back inside the
// built-in screen's visible frame, as the registered windows do.
void keepOnScreen(QWidget& dialog, const platform::Screen& screen)
{
    const QMargins decorations = decorationsOf(dialog);
    const platform::Rect frame = platform::fromQtGlobal(QRectF(dialog.geometry().marginsAdded(decorations)));
    const platform::Rect clamped = PrivateWindowGeometry::clampedFrame(frame, screen.visibleFrame);
    if (clamped != frame)
        placeFrame(dialog, platform::toQtGlobal(clamped), decorations);
}

// The alerts and choosers now showing.
std::vector<QWidget*> shownDialogs()
{
    std::vector<QWidget*> shown;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isVisible() && qobject_cast<QDialog*>(widget))
            shown.push_back(widget);
    return shown;
}

std::vector<Window*> alive(const std::vector<QPointer<Window>>& windows)
{
    std::vector<Window*> live;
    for (const auto& w : windows)
        if (w)
            live.push_back(w);
    return live;
}

platform::SharingType sharingType(bool sharingEnabled)
{
    return sharingEnabled ? platform::SharingType::readOnly : platform::SharingType::none;
}

// The window manager's drags of an alert or chooser stop at the built-in
// screen's edge as they happen, as a registered window's do.
void guardDialog(QWidget& dialog)
{
    platform::WindowSystem* system = platform::hasCurrent() ? platform::current().windowSystem() : nullptr;
    if (!system)
        return;
    const auto screen = DisplayTopology::builtInScreen();
    const auto kept = screen ? std::optional(platform::KeptArea{platform::toQtGlobal(screen->visibleFrame),
                                                                screen->displayID.value_or(0),
                                                                platform::toQtGlobal(screen->frame)})
                             : std::nullopt;
    system->keepInside(dialog, kept, &PrivateWindowGeometry::boundedFrame);
}

class DialogWatch final : public QObject {
public:
    DialogWatch() { qApp->installEventFilter(this); }

private:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            if (auto* dialog = qobject_cast<QDialog*>(watched); dialog && dialog->isWindow())
                guardDialog(*dialog);
        return false;
    }
};
} // namespace

PrivateWindowRegistry::PrivateWindowRegistry()
{
    if (qApp)
        dialogWatch_ = std::make_unique<DialogWatch>();
}

PrivateWindowRegistry::~PrivateWindowRegistry() = default;

std::optional<Window::Bounds> PrivateWindowRegistry::boundsOf(const Window& window)
{
    const auto screen = DisplayTopology::builtInScreen();
    if (!screen)
        return std::nullopt;
    const auto boundary = qobject_cast<const IslandTriggerPanel*>(&window) ? PrivateWindowBoundary::fullDisplay
                                                                            : PrivateWindowBoundary::visibleDesktop;
    return Window::Bounds{bounds(boundary, screen->frame, screen->visibleFrame), screen->frame,
                          screen->displayID.value_or(0), screen->frame};
}

std::vector<Window*> PrivateWindowRegistry::registeredWindows() const { return alive(windows_); }

std::vector<Window*> PrivateWindowRegistry::windowsToRestore() const { return alive(previouslyVisible_); }

void PrivateWindowRegistry::registerWindow(Window* window)
{
    if (!window)
        return;
    std::erase_if(windows_, [](const auto& w) { return w.isNull(); });
    if (!listed(registeredWindows(), window))
        windows_.emplace_back(window);
    window->setSharingType(sharingType(sharingEnabled_));
    QPointer<Window> bounded(window);
    window->setBound([bounded] { return bounded ? boundsOf(*bounded) : std::nullopt; },
                     &PrivateWindowGeometry::boundedFrame);

    // A dead window's watch could otherwise match a new window at its address.
    std::erase_if(boundaryObservers_, [](const BoundaryWatch& w) { return w.window.isNull(); });
    const bool watched = std::any_of(boundaryObservers_.begin(), boundaryObservers_.end(),
                                     [&](const BoundaryWatch& w) { return w.window == window; });
    if (watched)
        return;
    QPointer<Window> weak(window);
    auto clampIfAlive = [this, weak](const platform::Notification&) {
        if (weak)
            clamp(*weak, weak->formerFrame());
    };
    auto& center = platform::NotificationCenter::defaultCenter();
    boundaryObservers_.push_back({weak, center.observe(Window::didMoveNotification, window, clampIfAlive),
                                  center.observe(Window::didResizeNotification, window, clampIfAlive)});
}

void PrivateWindowRegistry::setSharingEnabled(bool enabled)
{
    sharingEnabled_ = enabled;
    for (Window* w : registeredWindows())
        w->setSharingType(sharingType(enabled));
}

void PrivateWindowRegistry::addTransitionSettler(TransitionSettler settler)
{
    settlers_.push_back(std::move(settler));
}

std::vector<Window*> PrivateWindowRegistry::settleTransitions()
{
    std::vector<Window*> shown;
    for (const auto& settle : settlers_)
        for (Window* w : settle())
            shown.push_back(w);
    return shown;
}

void PrivateWindowRegistry::rememberAsVisible(Window* window)
{
    if (!window || !listed(registeredWindows(), window))
        return;
    hasRestorationSnapshot_ = true;
    if (std::find(previouslyVisible_.begin(), previouslyVisible_.end(), window) == previouslyVisible_.end())
        previouslyVisible_.emplace_back(window);
}

void PrivateWindowRegistry::forgetVisibility(Window* window)
{
    std::erase_if(previouslyVisible_, [window](const QPointer<Window>& w) { return w.isNull() || w == window; });
}

void PrivateWindowRegistry::takeSnapshot(const std::vector<Window*>& except)
{
    previouslyVisible_.clear();
    previouslyVisibleWidgets_.clear();
    // Read before anything goes: nothing of ours keeps the keyboard through a hide.
    keyboardHolder_ = Window::keyboardDestination();
    keyboardWasOurs_ = keyboardHolder_ != nullptr;
    for (Window* w : registeredWindows())
        if (w->isVisible() && !listed(except, w))
            previouslyVisible_.emplace_back(w);
    hasRestorationSnapshot_ = true;
}

void PrivateWindowRegistry::hideAll(Window* except, bool preservingVisibility)
{
    forgetWindowsOutForWantOfScreen();
    const std::vector<Window*> excepted = except ? std::vector<Window*>{except} : std::vector<Window*>{};
    const std::vector<Window*> settled = settleTransitions();
    if (preservingVisibility && !hasRestorationSnapshot_)
        takeSnapshot(excepted);
    if (preservingVisibility)
        for (Window* w : settled)
            if (w != except)
                rememberAsVisible(w);
    for (Window* w : registeredWindows())
        if (w != except)
            w->orderOut();
}

void PrivateWindowRegistry::hideAllAppOwnedWindows(const std::vector<Window*>& except, bool preservingVisibility)
{
    forgetWindowsOutForWantOfScreen();
    const std::vector<Window*> settled = settleTransitions();
    if (preservingVisibility && !hasRestorationSnapshot_)
        takeSnapshot(except);
    if (preservingVisibility)
        for (Window* w : settled)
            if (!listed(except, w))
                rememberAsVisible(w);
    // Popups, dialogs and anything else top-level belong to the application
    // too, the status icon aside. They are noted before any window goes, since
    // hiding a parent takes its dialogs along.
    std::vector<QWidget*> plain;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isVisible() && !qobject_cast<Window*>(widget) && !listed(except, widget)
            && !platform::isStatusIconWindow(*widget))
            plain.push_back(widget);
    // Dialogs come back; popups, menus and tooltips count as dismissed.
    if (preservingVisibility)
        for (QWidget* widget : plain)
            if (qobject_cast<QDialog*>(widget)
                && std::find(previouslyVisibleWidgets_.begin(), previouslyVisibleWidgets_.end(), widget)
                    == previouslyVisibleWidgets_.end())
                previouslyVisibleWidgets_.emplace_back(widget);
    for (Window* w : Window::allWindows())
        if (!listed(except, w))
            w->orderOut();
    for (QWidget* widget : plain)
        if (widget)
            widget->hide();
}

void PrivateWindowRegistry::restorePreviouslyVisible(Window* except)
{
    // Shown now, they could land on the audience's screen; they wait for one.
    if (!DisplayTopology::builtInScreen()) {
        hasRestorationSnapshot_ = true;
        for (Window* w : registeredWindows()) {
            if (w == except || !w->isVisible())
                continue;
            rememberAsVisible(w);
            w->orderOut();
        }
        return;
    }
    forgetWindowsOutForWantOfScreen();
    std::vector<Window*> taken;
    for (const auto& w : previouslyVisible_)
        if (w)
            taken.push_back(w);
    std::vector<QWidget*> widgets;
    for (const auto& w : previouslyVisibleWidgets_)
        if (w)
            widgets.push_back(w);
    previouslyVisible_.clear();
    previouslyVisibleWidgets_.clear();
    hasRestorationSnapshot_ = false;
    for (Window* w : taken)
        if (w != except)
            restore(w);
    // Dialogs after the windows they belong to.
    const auto screen = DisplayTopology::builtInScreen();
    for (QWidget* widget : widgets) {
        if (screen)
            keepOnScreen(*widget, *screen);
        Window::showLeavingKeyboard(*widget);
        widget->raise();
    }
    // Each modal one above the window it belongs to, the newest on top, as before the hide.
    if (!widgets.empty())
        platform::Window::raiseModals();
    returnKeyboard();
    if (onRestored)
        onRestored();
}

void PrivateWindowRegistry::restore(Window* window)
{
    if (!window)
        return;
    // Without a built-in screen a shown window could land on the audience display.
    window->readBackFrame();
    if (!clamp(*window))
        return;
    // The keyboard stays where it is; returnKeyboard gives it back if it was ours.
    window->orderFrontLeavingKeyboard();
}

void PrivateWindowRegistry::discardRestorationSnapshot()
{
    forgetWindowsOutForWantOfScreen();
    previouslyVisible_.clear();
    previouslyVisibleWidgets_.clear();
    hasRestorationSnapshot_ = false;
    keyboardWasOurs_ = false;
}

// On X11 nothing gives the keyboard back to windows that come back; left on
// the root, the speaker's keys would reach no one. Another program that had
// it keeps it.
void PrivateWindowRegistry::returnKeyboard()
{
    if (!std::exchange(keyboardWasOurs_, false))
        return;
    QWidget* to = keyboardHolder_ && keyboardHolder_->isVisible() ? keyboardHolder_.data() : keyboardHome_.data();
    keyboardHolder_ = nullptr;
    if (to && to->isVisible())
        Window::sendKeyboardTo(*to);
}

void PrivateWindowRegistry::clampAllToBuiltInScreen()
{
    // The screen came back before any hide of the owner's took these over:
    // nobody else would bring them back.
    if (!outForWantOfScreen_.empty() && DisplayTopology::builtInScreen())
        returnWindowsOutForWantOfScreen();
    for (Window* w : registeredWindows()) {
        w->readBackFrame();
        clamp(*w);
    }
    // Alerts and choosers stand where the speaker works too.
    const auto screen = DisplayTopology::builtInScreen();
    if (!screen)
        return;
    for (QWidget* dialog : shownDialogs()) {
        guardDialog(*dialog);
        keepOnScreen(*dialog, *screen);
    }
}

void PrivateWindowRegistry::forgetWindowsOutForWantOfScreen()
{
    outForWantOfScreen_.clear();
    clampTookSnapshot_ = false;
}

void PrivateWindowRegistry::returnWindowsOutForWantOfScreen()
{
    if (clampTookSnapshot_) {
        restorePreviouslyVisible();
        return;
    }
    // The snapshot is a hide's: what it took stays hidden until that hide ends.
    std::vector<QPointer<Window>> out = std::exchange(outForWantOfScreen_, {});
    for (const auto& w : out)
        forgetVisibility(w);
    for (const auto& w : out)
        restore(w);
}

bool PrivateWindowRegistry::clamp(Window& window, const std::optional<platform::Rect>& former)
{
    const auto bounds = boundsOf(window);
    window.rereadBound();
    if (!bounds) {
        // Gone for want of a screen, it comes back with the next restore:
        // the hide that follows finds it already out and would forget it.
        if (window.isVisible()) {
            if (hasRestorationSnapshot_) {
                rememberAsVisible(&window);
            } else {
                takeSnapshot({});
                clampTookSnapshot_ = true;
            }
            outForWantOfScreen_.emplace_back(&window);
        }
        window.orderOut();
        return false;
    }
    const platform::Rect clamped = former ? PrivateWindowGeometry::boundedFrame(window.frame(), *former, bounds->area)
                                          : PrivateWindowGeometry::clampedFrame(window.frame(), bounds->area);
    // Pushed inside for now: a push by the window manager as the screens
    // changed is no place of the window's.
    if (clamped != window.frame())
        window.keepFrame(clamped);
    return true;
}

void PrivateWindowRegistry::centreDialogsOnBuiltInScreen(const std::function<bool(const QWidget*)>& keepsItsPlace)
{
    const auto screen = DisplayTopology::builtInScreen();
    if (!screen)
        return;
    std::vector<QWidget*> dialogs = shownDialogs();
    for (const auto& held : previouslyVisibleWidgets_)
        if (held && !held->isVisible())
            dialogs.push_back(held);
    for (QWidget* dialog : dialogs) {
        if (keepsItsPlace && keepsItsPlace(dialog))
            continue;
        const QMargins decorations = decorationsOf(*dialog);
        QRect frame = dialog->geometry().marginsAdded(decorations);
        frame.moveCenter(platform::toQtGlobal(screen->visibleFrame).center());
        placeFrame(*dialog, frame, decorations);
        keepOnScreen(*dialog, *screen);
    }
}

bool PrivateWindowRegistry::containsVisiblePrivateWindow(platform::Point point) const
{
    for (Window* w : registeredWindows())
        if (w->isVisible() && w->frame().contains(point))
            return true;
    return false;
}

bool PrivateWindowRegistry::visibleWindowsAreOnBuiltInScreen() const
{
    const auto screen = DisplayTopology::builtInScreen();
    for (Window* w : registeredWindows()) {
        if (!w->isVisible())
            continue;
        if (!screen || !screen->frame.contains(w->frame()))
            return false;
    }
    return true;
}

} // namespace quorvia
