#pragma once

#include "platform/application/ApplicationShell.h"

class QMenu;
class QWidget;

namespace quorvia::platform {

// A menu holding the items in order, each running its action when chosen;
// shortcuts are shown beside their titles.
QMenu* makeMenu(const std::vector<MenuItem>& items, QWidget* parent = nullptr);

} // namespace quorvia::platform
