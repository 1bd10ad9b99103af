#pragma once

#include <QString>

#include <cstdint>
#include <map>
#include <vector>

struct xcb_connection_t;

namespace quorvia::test {

// The stack of the root window's children, bottom up, followed event by event
// on a connection of its own: it tells where windows stood at the very moment
// one was mapped, which a look at the server taken later cannot.
class StackingWatch {
public:
    explicit StackingWatch(const QString& display);
    ~StackingWatch();
    StackingWatch(const StackingWatch&) = delete;
    StackingWatch& operator=(const StackingWatch&) = delete;

    // Runs the event loop until the root's child that holds `window` (a
    // window manager's frame, or the window itself) has been mapped, and
    // returns that child; 0 when it never is.
    std::uint32_t waitUntilMapped(std::uint32_t window);
    // Where a top-level window stood when `mapped` was first mapped since the
    // watch began, and where the server says it stands now; -1 when it was
    // not mapped or is gone.
    int placeWhenMapped(std::uint32_t mapped, std::uint32_t window) const;
    int placeNow(std::uint32_t window) const;
    // The root's child that holds `window`; 0 when there is none.
    std::uint32_t topLevelOf(std::uint32_t window) const;
    // Runs the event loop until the root's child `topLevel` has been
    // restacked or moved since the watch began; false when it never is.
    bool waitUntilRestacked(std::uint32_t topLevel);

    // Runs a modal alert through the dialog service while `mask` is up, and
    // expects the alert beneath it the moment it is mapped and once it is active.
    void expectAnAlertBeneath(std::uint32_t mask);

private:
    void update();
    std::vector<std::uint32_t> children() const;

    xcb_connection_t* connection_ = nullptr;
    std::uint32_t root_ = 0;
    std::vector<std::uint32_t> stack_;
    std::map<std::uint32_t, std::vector<std::uint32_t>> stackWhenMapped_;
    std::vector<std::uint32_t> restacked_;
};

} // namespace quorvia::test
