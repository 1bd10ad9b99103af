#pragma once

#include <QRect>
#include <QRegion>

namespace quorvia::platform::native {

// The places left-out windows left, blank in the capture until what lies
// beneath is back on screen. Each place goes
//
//   left ──► unexposed ──► exposed, awaiting drawing ──► released
//
// - left → unexposed: a left-out window moved, shrank or went away from it.
//   Drawing reported there now says nothing: it may be the window that left
//   (a frame that moves and shrinks reports drawing over its whole inner
//   window).
// - unexposed → exposed, awaiting drawing: our exposing window over it is
//   gone, so the server has exposed what lies beneath.
// - exposed, awaiting drawing → released: drawing reported there, which is
//   what lies beneath drawn again.
// - A place left again is unexposed again, whatever state it was in.
//
// Beside that: a place left since the picture being read started is held
// blank for that picture until the next picture starts, whatever its state:
// the window may still have stood there when the picture was read, and
// drawing reported later says nothing of that.
class LeftPlaces {
public:
    void left(const QRect& place);
    void exposingWindowGone(const QRect& place);
    void drawn(const QRect& area);
    void pictureStarts() { heldForPicture_ = QRegion(); }

    QRegion toBlank() const { return unexposed_ + awaitingDrawing_ + heldForPicture_; }

private:
    QRegion unexposed_;
    QRegion awaitingDrawing_;
    QRegion heldForPicture_;
};

} // namespace quorvia::platform::native
