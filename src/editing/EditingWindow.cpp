#include "editing/EditingWindow.h"

#include "privacy/DisplayTopology.h"
#include "privacy/PrivacyPalette.h"

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
    window->setBackgroundColor(privacy_palette::editingBackground());
    QPalette dark = window->palette();
    dark.setColor(QPalette::Window, privacy_palette::editingBackground());
    dark.setColor(QPalette::WindowText, privacy_palette::white());
    dark.setColor(QPalette::Base, privacy_palette::editingTextBackground());
    dark.setColor(QPalette::Text, privacy_palette::white());
    privacy_palette::setButtonFace(dark, QColor(60, 60, 62));
    dark.setColor(QPalette::ButtonText, privacy_palette::white());
    dark.setColor(QPalette::PlaceholderText, privacy_palette::tertiaryLabel());
    dark.setColor(QPalette::Highlight, privacy_palette::controlAccent());
    dark.setColor(QPalette::HighlightedText, privacy_palette::white());
    window->setPalette(dark);
    return window;
}

QWidget* makeContentView()
{
    auto* view = new QWidget;
    view->setAutoFillBackground(true);
    QPalette palette = view->palette();
    palette.setColor(QPalette::Window, privacy_palette::editingBackground());
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
