#pragma once

#include <QColor>
#include <QPalette>

namespace quorvia::dark_colours {

// The colours of the dark appearance every window of ours draws in.
inline QColor black() { return QColor(0, 0, 0); }
inline QColor white() { return QColor(255, 255, 255); }
inline QColor secondaryLabel() { return QColor(235, 235, 245, 153); }
inline QColor secondaryLabelOnLight() { return QColor(60, 60, 67, 153); }
inline QColor systemYellow() { return QColor(255, 214, 10); }
inline QColor systemBlue() { return QColor(10, 132, 255); }
inline QColor separator() { return QColor(84, 84, 88, 153); }
inline QColor tertiaryLabel() { return QColor(235, 235, 245, 76); }
// The default accent of the platform's controls.
inline QColor controlAccent() { return QColor(10, 132, 255); }
inline QColor timelineCardFill() { return QColor(43, 43, 43); }
inline QColor timelineCardBorder() { return QColor(87, 87, 87); }
inline QColor systemRed() { return QColor(255, 69, 58); }
// Editing windows: the window's near-black and the text area's dark grey.
inline QColor editingBackground() { return QColor(19, 19, 19); }
inline QColor editingTextBackground() { return QColor(31, 31, 31); }
inline QColor systemGreen() { return QColor(48, 209, 88); }
inline QColor systemOrange() { return QColor(255, 159, 10); }
inline QColor label() { return QColor(255, 255, 255, 217); }

// The island's near-black panel and its hairline.
inline QColor islandBackground() { return QColor::fromRgbF(0.055f, 0.055f, 0.055f, 0.97f); }
inline QColor islandBorder() { return QColor::fromRgbF(0.22f, 0.22f, 0.22f, 1.0f); }

inline QColor buttonFace() { return QColor(72, 72, 74); }
// The dark panel behind the island's and its popovers' controls.
inline QColor darkPanel() { return QColor(30, 30, 32); }

// A button's face, sunk most of the way into the dark panel behind it where
// the button takes no click: a dimmed title alone leaves a coloured face
// looking live.
inline void setButtonFace(QPalette& palette, const QColor& face)
{
    palette.setColor(QPalette::Button, face);
    const QColor panel = darkPanel();
    const auto sunk = [](int faceChannel, int panelChannel) { return (faceChannel * 2 + panelChannel * 3) / 5; };
    palette.setColor(QPalette::Disabled, QPalette::Button,
                     QColor(sunk(face.red(), panel.red()), sunk(face.green(), panel.green()),
                            sunk(face.blue(), panel.blue())));
}

// The dark appearance the island and its popovers take.
inline QPalette darkAppearance()
{
    QPalette p;
    p.setColor(QPalette::Window, darkPanel());
    p.setColor(QPalette::WindowText, white());
    setButtonFace(p, buttonFace());
    p.setColor(QPalette::ButtonText, white());
    p.setColor(QPalette::Base, QColor(28, 28, 30));
    p.setColor(QPalette::AlternateBase, QColor(44, 44, 46));
    p.setColor(QPalette::Text, white());
    p.setColor(QPalette::ToolTipBase, QColor(44, 44, 46));
    p.setColor(QPalette::ToolTipText, white());
    p.setColor(QPalette::Highlight, systemBlue());
    p.setColor(QPalette::HighlightedText, white());
    p.setColor(QPalette::PlaceholderText, secondaryLabel());
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(255, 255, 255, 77));
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(255, 255, 255, 77));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(255, 255, 255, 77));
    return p;
}

// The prompter's script text.
inline QColor promptDimText() { return QColor::fromRgbF(1, 1, 1, 0.36f); }
inline QColor promptCodeBackground() { return QColor::fromRgbF(1, 1, 1, 0.11f); }
inline QColor systemPink() { return QColor(255, 55, 95); }
inline QColor readingLine() { return QColor(255, 55, 95, 115); }
// The prompter window and its bubble.
inline QColor prompterPlum() { return QColor::fromRgbF(0.12f, 0.03f, 0.08f, 0.98f); }
inline QColor prompterBubbleRing() { return QColor(255, 55, 95, 191); }
inline QColor prompterButtonFill() { return QColor(255, 255, 255, 36); }

} // namespace quorvia::dark_colours
