#pragma once

class QWidget;

namespace quorvia::platform {

// Keeps a modal alert or chooser of ours above every other window of ours
// while it is up: a window raised or shown meanwhile (a reopen brings the
// island forward) would otherwise cover the one window that still answers.
// A modal one with a window of its own (the one it was asked from) brings
// that window up first, just beneath it, so it never floats alone.
// Overlays stay above all: while one is up nothing is raised past it.
namespace ModalStacking {

// Brings the modal windows up, the newest last, after `raised` went to the front.
void raiseAbove(const QWidget& raised);
// Brings the modal windows up, the newest last, as after dialogs came back.
void raiseModals();

} // namespace ModalStacking

} // namespace quorvia::platform
