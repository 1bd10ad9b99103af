#pragma once

#include "platform/desktop/Window.h"

#include <QColor>

#include <memory>
#include <optional>

class QPushButton;

namespace quorvia::editing_window {

// An editing window: floats at level 3, stays out of capture, joins every
// space and is only hidden when closed. Hidden until presented.
std::unique_ptr<platform::Window> make(platform::Size contentSize, platform::WindowStyle style, const QString& title);

// The near-black content view every editing window draws on.
QWidget* makeContentView();
QPushButton* makeButton(const QString& title, std::optional<QColor> bezel = std::nullopt);

} // namespace quorvia::editing_window
