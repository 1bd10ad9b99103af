#pragma once

#include <QImage>
#include <QRect>
#include <QRegion>

namespace quorvia::platform::native {

// How a picture buffer that already holds an older picture of the screen is
// brought up to date: only what changed since is read from the server again,
// and only what was not black already is blanked. All in picture coordinates.
struct X11PictureRefresh {
    // Where to read the screen again: everything when the buffer holds no
    // picture; else what changed since its picture and what it blanked that
    // is shown now, less what stays left out (it will be black).
    static QRegion toGrab(const QRect& bounds, bool holdsPicture, const QRegion& changedSince,
                          const QRegion& blankedIn, const QRegion& leftOutBefore);
    // Where to blank once the grab is in: places newly left out, and any place
    // left out that the grab has just written.
    static QRegion toBlank(bool holdsPicture, const QRegion& grabbed, const QRegion& blankedIn,
                           const QRegion& leftOut);
    // What the picture changed from the one before it: the screen's changes
    // outside places black in both, and places black in only one of them.
    static QRegion changedFromLast(const QRegion& changedSince, const QRegion& leftOutThen, const QRegion& leftOut);

    // Black over the region, a row of each rectangle at a time in wide stores.
    static void fillBlack(QImage& image, const QRegion& region);
    // `count` opaque black 32-bit pixels from `row` on, whatever its alignment.
    static void fillBlackPixels(quint32* row, int count);
};

} // namespace quorvia::platform::native
