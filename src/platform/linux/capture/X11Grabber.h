#pragma once

#include "platform/capture/CaptureService.h"
#include "platform/linux/capture/LeftPlaces.h"
#include "platform/linux/capture/X11ShmPool.h"
#include "platform/linux/capture/X11WindowTracker.h"
#include "platform/linux/desktop/X11Windows.h"

#include <QHash>
#include <QImage>
#include <QRect>
#include <QRegion>
#include <QSet>

#include <xcb/xcb.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quorvia::platform::native {

// The grab queue's connection: root-window grabs into a shared-memory pool
// (plain image requests where there is none), the window tracker and the
// damage that says whether anything changed.
class X11Grabber {
public:
    X11Grabber() = default;
    ~X11Grabber();
    X11Grabber(const X11Grabber&) = delete;
    X11Grabber& operator=(const X11Grabber&) = delete;

    // Why the region cannot be captured with its exclusions, or nothing.
    std::optional<CaptureError> open(const QRect& region);

    // What the caller wants once it knows what would be blanked (root
    // coordinates) and where the screen changed since the last picture
    // (none: anywhere): a picture, none as nothing new would show (the
    // changes are forgotten), or none yet (they are kept for the next frame).
    enum class Wanted { picture, nothingNew, later };
    using Judge =
        std::function<Wanted(const std::vector<QRect>& blankedBefore, const std::optional<QRegion>& changed)>;

    struct Frame {
        // busy: every buffer is still on its way or on screen; refused: the
        // server did not answer the grab; exclusionUnknown: where a left-out
        // window stands cannot be known.
        enum class Outcome { picture, nothingNew, later, busy, refused, exclusionUnknown };
        Outcome outcome = Outcome::refused;
        // Black wherever a left-out window stood before or after the grab.
        QImage image;
        // In root coordinates, in a fixed order so equal lists compare equal.
        std::vector<QRect> blankedBefore;
        std::vector<QRect> blankedAfter;
        // In picture coordinates: what is black, and where the screen
        // changed since the last picture (none: anywhere).
        QRegion leftOut;
        std::optional<QRegion> changed;
    };

    // One frame, in the one order that keeps every left-out window out of
    // the picture: the events that came, the picture starts, what is left
    // out before the grab, the changes; then, if the judge wants it, the
    // grab, the events that came during it, what is left out after it, and
    // the picture blanked where either says.
    Frame takeFrame(const QSet<std::uint32_t>& own, const QSet<qint64>& processIDs, bool showsCursor,
                    const Judge& judge);

    int descriptor() const { return xcb_get_file_descriptor(windows_.connection()); }

    // Right after the screen was read, before the events that came meanwhile
    // are taken: where tests change the screen during a grab.
    std::function<void()> onGrabbed;
    // Until the server has answered all sent so far: every event it sent
    // before is waiting to be read.
    void sync();

    // Has the server expose what lies beneath where a left-out window stood,
    // so whoever owns that place draws it again: a window cut to a shape
    // never covered its rectangle's corners, nor a frame the window manager
    // draws, so nothing else would. False when nothing was asked for.
    bool exposeBeneath(const QRegion& places);

private:
    // A picture on its way: the buffer it is in and what of it was read now.
    struct Taken {
        X11ShmPool::Buffer* buffer = nullptr;
        QImage image;
        bool whole = true;
        QRegion grabbed;
    };
    enum class Grab { picture, busy, refused };

    bool failed() const { return xcb_connection_has_error(windows_.connection()) != 0; }

    // Reads every event that has arrived and exposes the places left-out
    // windows left in them.
    void pumpEvents(const QSet<std::uint32_t>& own, const QSet<qint64>& processIDs);
    // Takes the events that have arrived; the places left-out windows left in them.
    QRegion readEvents(const QSet<std::uint32_t>& own, const QSet<qint64>& processIDs);

    // Rectangles to blank in root coordinates, or none when one of them
    // cannot be known.
    std::optional<std::vector<QRect>> exclusions(const QSet<std::uint32_t>& own, const QSet<qint64>& processIDs);

    // Notes in every picture buffer, and in what changed since the last
    // picture, where the screen was drawn since the last call; without damage
    // tracking, or before the first picture, anything may have changed.
    void noteChanges();
    // A picture is made, or nothing that changed shows in one.
    void forgetChanges();
    // Root rectangles in picture coordinates.
    QRegion local(const std::vector<QRect>& rects) const;
    QRegion local(const QRegion& root) const;

    // Reads the screen into a free buffer where it differs from the picture
    // the buffer holds, leaving out what is left out before the grab
    // (picture coordinates); finish() blanks it.
    Grab grab(Taken& taken, const QRegion& leftOutBefore);
    // Blanks what is left out (before and after the grab, picture
    // coordinates) where it is not black already, and hands the picture out.
    void finish(Taken& taken, const QRegion& leftOut);
    // A picture not handed out: its buffer is free again, holding nothing known.
    void discard(Taken& taken);
    // The server draws the cursor on the screen, not into the root window's
    // picture, so a capture that shows it draws it itself; the buffer then
    // holds something else than the screen and is read whole when it comes back.
    void drawCursor(Taken& taken);

    bool readWhole(X11ShmPool::Buffer& buffer);
    // Reads the region's rectangles, one request each (all sent before the
    // first answer is awaited), into the scratch buffer and copies them into
    // place; a region of many rectangles is read as the one around them.
    bool readParts(X11ShmPool::Buffer& buffer, const QRegion& parts);

    // The window whose place an event changes, or 0.
    static std::uint32_t changedWindow(const xcb_generic_event_t* event);
    // Our exposing window an event is about, or 0.
    std::uint32_t exposingWindowOf(const xcb_generic_event_t* event) const;

    X11Windows windows_;
    X11WindowTracker tracker_{windows_};
    bool haveFixes_ = false;
    // An empty region, the input shape of our exposing windows.
    std::uint32_t noInput_ = 0;
    // Our exposing windows and the places they are over, until the server
    // says they are gone.
    QHash<std::uint32_t, QRect> exposingWindows_;
    LeftPlaces leftPlaces_;
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
