#pragma once

#include "platform/PointerService.h"

#include <memory>

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
};

} // namespace quorvia::platform::native
