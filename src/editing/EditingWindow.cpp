#include "editing/EditingWindow.h"

#include "privacy/DisplayTopology.h"
#include "look/DarkColours.h"

#include <QPushButton>

namespace quorvia::editing_window {

std::unique_ptr<platform::Window> make(platform::Size contentSize, platform::WindowStyle style, const QString& title)
{
    auto window = std::make_unique<platform::Window>(platform::Rect({0, 0}, contentSize), style);
    window->setTitle(title);
    window->setLevel(platform::Window::floatingLevel);
    window->setCollectionBehavior(platform::CollectionBehavior::canJoinAllSpaces
                                  | platform::CollectionBehavior::fullScreenAuxiliary);
    window->setSharingType(platform::SharingType::none);
    window->setBackgroundColor(dark_colours::editingBackground());
    QPalette dark = window->palette();
    dark.setColor(QPalette::Window, dark_colours::editingBackground());
    dark.setColor(QPalette::WindowText, dark_colours::white());
    dark.setColor(QPalette::Base, dark_colours::editingTextBackground());
    dark.setColor(QPalette::Text, dark_colours::white());
    dark_colours::setButtonFace(dark, QColor(60, 60, 62));
    dark.setColor(QPalette::ButtonText, dark_colours::white());
    dark.setColor(QPalette::PlaceholderText, dark_colours::tertiaryLabel());
    dark.setColor(QPalette::Highlight, dark_colours::controlAccent());
    dark.setColor(QPalette::HighlightedText, dark_colours::white());
    window->setPalette(dark);
    return window;
}

QWidget* makeContentView()
{
    auto* view = new QWidget;
    view->setAutoFillBackground(true);
    QPalette palette = view->palette();
    palette.setColor(QPalette::Window, dark_colours::editingBackground());
    view->setPalette(palette);
    return view;
}

QPushButton* makeButton(const QString& title, std::optional<QColor> bezel)
{
    auto* button = new QPushButton(title);
    button->setAutoDefault(false);
    button->setDefault(false);
    if (bezel) {
        button->setStyleSheet(QStringLiteral("QPushButton { background: %1; color: white; border-radius: 6px; padding: 4px 14px; }"
                                             "QPushButton:disabled { background: %2; color: rgba(255, 255, 255, 90); }")
                                  .arg(bezel->name(), QColor(bezel->red(), bezel->green(), bezel->blue(), 90).name(QColor::HexArgb)));
    }
    return button;
}

} // namespace quorvia::editing_window
