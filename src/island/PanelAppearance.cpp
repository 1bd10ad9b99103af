#include "island/PanelAppearance.h"

#include "look/IslandButton.h"
#include "look/DarkColours.h"

#include <QComboBox>
#include <QLabel>
#include <QSignalBlocker>

namespace quorvia::panel_appearance {

std::optional<QColor> color(PanelTint tint)
{
    switch (tint) {
    case PanelTint::none: return std::nullopt;
    case PanelTint::secondary: return dark_colours::secondaryLabel();
    case PanelTint::green: return dark_colours::systemGreen();
    case PanelTint::red: return dark_colours::systemRed();
    case PanelTint::blue: return dark_colours::systemBlue();
    case PanelTint::orange: return dark_colours::systemOrange();
    }
    return std::nullopt;
}

void applyLabel(QLabel& label, const PanelLabel& look)
{
    label.setText(look.text);
    label.setToolTip(look.toolTip);
    QPalette p = label.palette();
    p.setColor(QPalette::WindowText, color(look.tint).value_or(dark_colours::label()));
    label.setPalette(p);
}

void applyBezel(IslandButton& button, PanelTint tint) { button.setBezelColor(color(tint)); }

void applyButton(IslandButton& button, const PanelButton& look)
{
    button.setText(look.title);
    button.setEnabled(look.enabled);
    applyBezel(button, look.bezel);
    button.setToolTip(look.toolTip);
}

void fillPopup(QComboBox& popup, const std::vector<PanelPopupItem>& items, std::optional<std::size_t> selected)
{
    const int current = selected && *selected < items.size() ? int(*selected) : -1;
    // Refreshed on every change of the script: an unchanged list keeps its items.
    bool same = popup.count() == int(items.size()) && popup.currentIndex() == current;
    for (std::size_t i = 0; same && i < items.size(); ++i)
        same = popup.itemText(int(i)) == items[i].title
               && popup.itemData(int(i)) == (items[i].key ? QVariant(*items[i].key) : QVariant());
    if (same)
        return;
    const QSignalBlocker quiet(popup);
    popup.clear();
    for (const auto& item : items)
        popup.addItem(item.title, item.key ? QVariant(*item.key) : QVariant());
    popup.setCurrentIndex(current);
}

} // namespace quorvia::panel_appearance
