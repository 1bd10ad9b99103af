#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <vector>

namespace quorvia {

// After a change of the displays the private windows are placed once; two
// others may move them after that. The window manager does, as it catches up
// with the new screens (openbox moves windows it had placed by its old picture
// of them); the speaker does, arranging them. A move is the speaker's when a
// pointer button is held (a drag by our own grip), or when their last press
// since the placing landed on the window (a window manager's drag by the
// title bar, told only once the button is up); that window stays where they
// leave it until the next change. Any other move we did not make ourselves is
// the window manager's.
class PlacementWatch final : public QObject {
public:
    // A window manager that keeps moving windows where they will not stay is
    // answered only this often after each change.
    static constexpr int windowManagerMovesAnswered = 16;

    explicit PlacementWatch(QObject* parent = nullptr);
    ~PlacementWatch() override;

    // Moves the windows to their places through `place`. Afresh, after a new
    // change, every window is the placing's again, the speaker's included.
    void place(bool afresh, const std::function<void()>& place);
    // Whether this placing has to leave the window where it is: the speaker
    // moved it since the last change was placed, or holds a button on it now.
    bool isSpeakers(const QWidget* window) const;
    // Whether a change has been placed, whose places the window manager's moves may still undo.
    bool hasPlaced() const { return hasPlaced_; }

    // The windows the placing places: the moves of others are nobody's concern here.
    std::function<bool(const QWidget& window)> placesWindow;
    // One of them the window manager moved since the last change, not the speaker's.
    std::function<void(QWidget& window)> onMovedByWindowManager;

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool isHeldNow(const QWidget& window) const;
    bool isSpeakersMove(const QWidget& window, const QEvent& event) const;
    bool isTakenInHand(const QWidget* window) const;

    bool placing_ = false;
    bool hasPlaced_ = false;
    int windowManagerMovesLeft_ = 0;
    std::uint64_t pressesBeforePlacing_ = 0;
    std::vector<QPointer<QWidget>> speakers_;
};

} // namespace quorvia
