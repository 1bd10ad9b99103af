#pragma once

#include "platform/core/NotificationCenter.h"
#include "platform/desktop/PointerHold.h"
#include "platform/desktop/PointerService.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace quorvia {

// Tells whose each move of the private windows was, as it comes and before
// anything answers it. The application's own (a placing, a clamp, an
// animation, a drag by our own grips) and the server's echoes of them land
// where it asked. The speaker's, by the window manager's means, come with
// the input that made them, on that very window: a drag that began on its
// title bar or border, or anywhere on it with Alt or Super held, or keys the
// window manager took while it had the keyboard. An input makes moves until
// the first one told after it ended, and none across a change of the
// displays or a hold of the windows, but for a press held through them: the
// window manager's steps while it is down are the speaker's, and where it is
// let go the window's place. A window hidden mid-drag is one the window
// manager lets go of: it goes back to its place, or, under the same displays,
// where the hand let go (the emergency key cut the drag). Any other move is
// the window manager's or another program's: from the first change on, the
// window goes back to its place at once (openbox may still move windows by
// its stale picture of the screens after the placing). A window the speaker
// moved keeps where they left it as its place, and each placing puts it back
// there until the next change of the displays.
class PlacementWatch final : public QObject {
public:
    // A window manager that keeps moving windows where they will not stay is
    // answered only this often after each change.
    static constexpr int windowManagerMovesAnswered = 16;

    explicit PlacementWatch(QObject* parent = nullptr);
    ~PlacementWatch() override;

    // Moves the windows to their places through `place`. Afresh, after a new
    // change, every window is the placing's again, the speaker's included,
    // but for one still held, or let go since the change began.
    void place(bool afresh, const std::function<void()>& place);
    // The input so far makes none of the moves from now on; but for a press
    // still holding its window, when `keepHeldPress`.
    void forgetInput(bool keepHeldPress = false);
    // Whether this placing has to leave the window where it is: the speaker
    // moved it since the last change was placed, or holds a button on it now.
    bool isSpeakers(const QWidget* window) const;

    // The windows the placing places: the moves of others are nobody's concern here.
    std::function<bool(const QWidget& window)> placesWindow;
    // Whether the windows stand shown under the arrangement they were placed
    // for; otherwise a move is the window manager's push as screens come or
    // go, and the placing owed answers it.
    std::function<bool()> isSettled;
    // One of them the window manager moved away from its place since a change was placed.
    std::function<void(QWidget& window)> onMovedByWindowManager;

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // `inner`: the part of the window's frame before the move that the window
    // manager does not draw, in Qt's global space.
    void judge(QWidget& window, const QRect& inner);
    // The last press while it holds its window: down on it, and neither spent
    // nor cut from it by a hide since.
    std::optional<platform::PointerService::Press> heldPress() const;
    bool isHeldNow(const QWidget& window) const;
    // A window manager lets go of a window hidden mid-drag, for good.
    void cutHeldPress(QWidget& window);
    // Spends the input that made the move.
    bool isSpeakersMove(const QWidget& window, const QRect& inner);
    // An input is spent by the first move of its window told after it ended,
    // or at once when it ended leaving nothing for the window manager to tell.
    void spendEndedInput();
    void adoptUntoldDrag();
    void pressEnded();
    // A resize by the window manager's border goes on after a change from
    // where the window stood at the press, in a space the change has moved:
    // the edges it moves are learnt as it goes, and at a change the program
    // takes the resize over from where the window stands, those edges
    // following the hand to the release.
    void learnResize(const platform::PointerService::Press& press, const QWidget& window, const QRect& told);
    void takeOverHeldResize();
    void carryResize(QPointF pointer, bool letGo);
    bool isCarried(const QWidget& window) const;
    bool isTakenInHand(const QWidget* window) const;
    void takeInHand(QWidget& window);

    bool placing_ = false;
    // None before the first change: tools may arrange the windows at will.
    int windowManagerMovesLeft_ = 0;
    // Input numbered up to this makes no move from now on.
    std::uint64_t spentInput_ = 0;
    std::uint64_t keyReceived_ = 0;
    // The newest press as the last change was placed: one after it was made
    // under the displays of now.
    std::uint64_t pressAtLastChange_ = 0;
    // The press a hide cut, and its window, which goes back to its place.
    std::uint64_t cutPress_ = 0;
    QPointer<QWidget> cutWindow_;
    std::vector<QPointer<QWidget>> speakers_;
    // The window of ours the pointer drags in, a button held.
    QPointer<QWidget> draggedWindow_;
    struct HeldResize {
        std::uint64_t press = 0;
        Qt::Edges edges;
        // Once taken over: the window, where it stood then, and where the hand has it now.
        QPointer<QWidget> window;
        QRect stood, carried;
    };
    HeldResize resize_;
    platform::PointerHold hand_;
    platform::Observation changes_;
};

} // namespace quorvia
