#pragma once

#include "platform/desktop/PointerService.h"
#include "platform/linux/desktop/XcbConnection.h"

#include <QPoint>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

class QSocketNotifier;

namespace quorvia::platform::native {

class X11Windows;

// The pointer from Qt; the cursor's picture from the X server's cursor
// extension, which sees the cursor whatever window it is over. The server is
// asked where the pointer is at most once a call, and not at all while it
// says the pointer has not moved (input extension raw motion), but for a
// check now and then for a pointer moved by a program, which it does not tell.
// Presses and keys are read on a thread of their own, on a connection of its
// own, which asks at once where each happened: a busy main thread would ask
// only after a drag had ended.
class LinuxPointerService final : public PointerService {
public:
    LinuxPointerService();
    ~LinuxPointerService() override;

    Point mouseLocation() const override;
    CursorImage currentCursor() const override;
    CursorImage arrowCursor() const override;
    bool isApplicationActive() const override;
    bool isButtonHeld() const override;
    Press lastPress() const override;
    Key lastKey() const override;
    std::vector<Key> keysAfter(std::uint64_t number) const override;

    // Seconds between checks of a pointer the server has not seen move.
    static constexpr double recheckInterval = 0.25;
    // How often the server has been asked where the pointer is.
    std::uint64_t positionQueries() const { return queries_; }

    // How many of the last keys keysAfter knows.
    static constexpr std::size_t keptKeys = 64;

private:
    class InputReader;

    void connect() const;
    // Asks for word of the next pointer motion, or for none.
    void watchMotion(bool watch) const;
    void readEvents() const;
    // Our top-level widget whose X window that is; none when it is gone.
    static QWidget* widgetOf(std::uint32_t window);
    XcbReply<xcb_query_pointer_reply_t> queryPointer() const;
    // The pointer in Qt's global space, asked for when it may have moved.
    QPoint position() const;

    mutable std::unique_ptr<X11Windows> x11_;
    mutable std::unique_ptr<QSocketNotifier> events_;
    // Where the reader's word of a release is handed to the main thread; it
    // outlives the reader.
    mutable std::unique_ptr<QObject> mainThread_;
    mutable std::unique_ptr<InputReader> input_;
    mutable bool triedX11_ = false;
    mutable bool haveFixes_ = false;
    mutable std::uint8_t inputOpcode_ = 0; // 0: no word of motion from the server
    mutable bool watching_ = false;
    mutable bool moved_ = true;
    mutable bool cursorChanged_ = true;
    mutable std::optional<QPoint> position_;
    mutable double queriedAt_ = 0;
    mutable std::uint64_t queries_ = 0;
    // The cursor as last read; read again only when the server says it changed.
    mutable std::optional<CursorImage> cursor_;
    mutable std::optional<CursorImage> arrow_;
};

} // namespace quorvia::platform::native
