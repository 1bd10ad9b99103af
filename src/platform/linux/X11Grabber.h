#pragma once

#include "platform/linux/X11ShmPool.h"
#include "platform/linux/X11WindowTracker.h"
#include "platform/linux/X11Windows.h"

#include <QHash>
#include <QImage>
#include <QRect>
#include <QRegion>
#include <QSet>

#include <xcb/xcb.h>

#include <memory>
#include <optional>
#include <vector>

namespace quorvia::platform::native {

// The grab queue's connection: root-window grabs into a shared-memory pool
// (plain image requests where there is none), the window tracker and the
// damage that says whether anything changed.
class X11Grabber {
public:
    X11Windows windows;
    X11WindowTracker tracker{windows};

    bool open(const QRect& region);

    ~X11Grabber();

    // Reads every event that has arrived: window changes and damage. A
    // left-out window that moves or goes leaves its picture behind until
    // whatever lies beneath is drawn again, so that place stays blank till then.
    void pumpEvents(const QSet<std::uint32_t>& own, const QSet<qint64>& processIDs);
    // The picture read next shows the screen as the events read so far left
    // it. Events read after it may have come before the read or after it, so
    // every place a left-out window stood in them stays blank in that
    // picture, whatever is drawn there later.
    void markRead();

    // Has the server expose what lies beneath where a left-out window stood,
    // so whoever owns that place draws it again: a window cut to a shape
    // never covered its rectangle's corners, nor a frame the window manager
    // draws, so nothing else would. Only the damage of that drawing lets a
    // place out of the stale set; a window that never draws stays blank.
    // False when nothing was asked for.
    bool exposeBeneath(const QRegion& places);

    // Notes in every picture buffer, and in what changed since the last
    // picture, where the screen was drawn since the last call; without damage
    // tracking, or before the first picture, anything may have changed.
    void noteChanges();
    // Where the screen changed since the last picture, in root coordinates;
    // none when anything may have.
    const std::optional<QRegion>& changedSincePicture() const { return sincePicture_; }
    // A picture is made, or nothing that changed shows in one.
    void forgetChanges();
    // Root rectangles in picture coordinates.
    QRegion local(const std::vector<QRect>& rects) const;
    QRegion local(const QRegion& root) const;
    int descriptor() const { return xcb_get_file_descriptor(windows.connection()); }

    bool failed() const { return xcb_connection_has_error(windows.connection()) != 0; }

    enum class Grab { picture, busy, refused };

    // Rectangles to blank in root coordinates, or none when one of them
    // cannot be known.
    std::optional<std::vector<QRect>> exclusions(const QSet<std::uint32_t>& own, const QSet<qint64>& processIDs);

    // A picture on its way: the buffer it is in and what of it was read now.
    struct Taken {
        X11ShmPool::Buffer* buffer = nullptr;
        QImage image;
        bool whole = true;
        QRegion grabbed;
    };

    // Reads the screen into a free buffer where it differs from the picture
    // the buffer holds, leaving out what is left out before the grab
    // (picture coordinates); finish() blanks it.
    Grab grab(Taken& taken, const QRegion& leftOutBefore);

    // Blanks what is left out (before and after the grab, picture
    // coordinates) where it is not black already, and hands the picture out.
    void finish(Taken& taken, const QRegion& leftOut);

    // A picture not handed out: its buffer is free again, holding nothing known.
    void discard(Taken& taken);

    // A picture whose buffer will hold something else than the screen (the
    // cursor drawn into it) is read whole when the buffer comes back.
    static void forgetContent(Taken& taken);

    // The server draws the cursor on the screen, not into the root window's
    // picture, so a capture that shows it draws it itself.
    void drawCursor(QImage& image);

private:
    // Takes the events that have arrived; the places left-out windows left in them.
    QRegion readEvents(const QSet<std::uint32_t>& own, const QSet<qint64>& processIDs);
    bool readWhole(X11ShmPool::Buffer& buffer);

    // Reads the region's rectangles, one request each (all sent before the
    // first answer is awaited), into the scratch buffer and copies them into
    // place; a region of many rectangles is read as the one around them.
    bool readParts(X11ShmPool::Buffer& buffer, const QRegion& parts);

    // The window whose place an event changes, or 0.
    static std::uint32_t changedWindow(const xcb_generic_event_t* event);
    // The window of ours that exposes a place an event is about, or 0.
    std::uint32_t coverOf(const xcb_generic_event_t* event) const;

    bool haveFixes_ = false;
    // An empty region, the input shape of the windows that expose a place.
    std::uint32_t noInput_ = 0;
    // Those windows, until the server says they are gone.
    QHash<std::uint32_t, QRect> covers_;
    // Places a left-out window left, blank until the server has exposed them
    // and then until whatever lies beneath has drawn there.
    QRegion unexposed_;
    QRegion stale_;
    // Places left since markRead(): in the picture read then, the window may
    // still have stood there, and a drawing read later says nothing of it.
    QRegion heldInPicture_;
    QRect region_;
    std::uint32_t damage_ = 0;
    std::uint8_t damageEvent_ = 0;
    QRegion damaged_;
    bool first_ = true;
    std::optional<QRegion> sincePicture_;
    std::shared_ptr<X11ShmPool> pool_;
    // Where changed parts of the screen are read before they are copied into place.
    std::shared_ptr<X11ShmPool> scratch_;
};

} // namespace quorvia::platform::native
