#pragma once

#include "platform/PointerService.h"

#include <memory>
#include <optional>

namespace quorvia::platform::native {

class X11Windows;

// The pointer from Qt; the cursor's picture from the X server's cursor
// extension, which sees the cursor whatever window it is over.
class LinuxPointerService final : public PointerService {
public:
    LinuxPointerService();
    ~LinuxPointerService() override;

    Point mouseLocation() const override;
    CursorImage currentCursor() const override;
    CursorImage arrowCursor() const override;
    bool isApplicationActive() const override;

private:
    mutable std::unique_ptr<X11Windows> x11_;
    mutable bool triedX11_ = false;
    mutable bool haveFixes_ = false;
    // The cursor as last read; read again only when the server says it changed.
    mutable std::optional<CursorImage> cursor_;
    mutable std::optional<CursorImage> arrow_;
};

} // namespace quorvia::platform::native
