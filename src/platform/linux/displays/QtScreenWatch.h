#pragma once

#include "platform/displays/DisplayService.h"

#include <functional>
#include <optional>

class QObject;

namespace quorvia::platform::native {

// Calls onChange when Qt's screen list, its primary screen, or a screen's
// geometry or density changes, for as long as owner lives.
void watchQtScreens(QObject* owner, const std::function<void()>& onChange);

// The screen holding the focused window, else the first of the service's.
std::optional<Screen> screenOfFocusedWindow(const DisplayService& service);

} // namespace quorvia::platform::native
