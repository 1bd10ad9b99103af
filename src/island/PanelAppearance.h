#pragma once

#include "island/PresentationPanelModel.h"

#include <QColor>

#include <optional>

class QComboBox;
class QLabel;

namespace quorvia {

class IslandButton;

// Puts the panel model's decisions onto widgets.
namespace panel_appearance {

std::optional<QColor> color(PanelTint tint);
void applyLabel(QLabel& label, const PanelLabel& look);
void applyBezel(IslandButton& button, PanelTint tint);
void applyButton(IslandButton& button, const PanelButton& look);
// Rebuilds the items, each carrying its key; none selected shows no item.
void fillPopup(QComboBox& popup, const std::vector<PanelPopupItem>& items, std::optional<std::size_t> selected);

} // namespace panel_appearance
} // namespace quorvia
