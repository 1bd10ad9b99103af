#include "support/AudienceWatch.h"

#include "support/ScreenPixels.h"

#include <QPainter>

#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <deque>
#include <memory>
#include <optional>
#include <utility>

namespace quorvia::test {

namespace {

constexpr int tolerance = 6;

bool isPrivate(QRgb p)
{
    const int r = qRed(p), g = qGreen(p), b = qBlue(p);
    const bool grey = std::abs(r - g) <= 2 && std::abs(g - b) <= 2 && r >= 10;
    return grey || ScreenPixels::matches(p, QColor(10, 132, 255), tolerance);
}

// Where the audience picture may show the pointer, which the output draws where
// the speaker's pointer is (left out over private windows): a box around it.
QRect pointerBoxAt(QPoint at, const QRect& projector)
{
    if (projector.contains(at))
        at -= projector.topLeft();
    return QRect(at - QPoint(8, 8), QSize(48, 48));
}

std::optional<QRect> pointerBox(xcb_connection_t* c, const QRect& projector)
{
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    std::unique_ptr<xcb_query_pointer_reply_t, decltype(&std::free)> pointer(
        xcb_query_pointer_reply(c, xcb_query_pointer(c, root), nullptr), &std::free);
    if (!pointer)
        return std::nullopt;
    return pointerBoxAt(QPoint(pointer->root_x, pointer->root_y), projector);
}

} // namespace

AudienceWatch::AudienceWatch(const QString& display, const QRect& projector)
    : display_(display), projector_(projector)
{
}

AudienceWatch::~AudienceWatch() { stop(); }

void AudienceWatch::start()
{
    stop();
    {
        std::lock_guard lock(mutex_);
        tally_ = {};
    }
    running_ = true;
    thread_ = std::thread([this] { run(); });
}

AudienceWatch::Tally AudienceWatch::stop()
{
    running_ = false;
    if (thread_.joinable())
        thread_.join();
    return tally();
}

void AudienceWatch::pointerWasAt(QPoint rootPoint)
{
    std::lock_guard lock(mutex_);
    pointerPutAt_.push_back(rootPoint);
}

AudienceWatch::Tally AudienceWatch::tally() const
{
    std::lock_guard lock(mutex_);
    return tally_;
}

QImage AudienceWatch::grab() const
{
    return ScreenPixels(display_).read(projector_);
}

void AudienceWatch::run()
{
    xcb_connection_t* c = xcb_connect(display_.toLatin1().constData(), nullptr);
    const ScreenPixels screen(display_);
    std::deque<std::pair<QRect, std::chrono::steady_clock::time_point>> recentPointer;
    while (running_ && !xcb_connection_has_error(c)) {
        // The output draws the pointer where it was when its frame was taken,
        // and learns of a pointer put somewhere by a program (as the tests'
        // tool does) only at its next check: leave out where it lately was,
        // for as long as a loaded machine may take to get to that check.
        if (const auto box = pointerBox(c, projector_))
            recentPointer.emplace_back(*box, std::chrono::steady_clock::now());
        {
            std::lock_guard lock(mutex_);
            for (const QPoint& at : std::exchange(pointerPutAt_, {}))
                recentPointer.emplace_back(pointerBoxAt(at, projector_), std::chrono::steady_clock::now());
        }
        QImage frame = screen.read(projector_);
        if (const auto box = pointerBox(c, projector_))
            recentPointer.emplace_back(*box, std::chrono::steady_clock::now());
        while (recentPointer.size() > 2
               && std::chrono::steady_clock::now() - recentPointer.front().second > std::chrono::seconds(15))
            recentPointer.pop_front();
        if (frame.isNull())
            break;
        QImage checked = frame;
        {
            QPainter painter(&checked);
            for (const auto& [box, when] : recentPointer)
                painter.fillRect(box, Qt::black);
        }
        const int count = privatePixels(checked);
        std::lock_guard lock(mutex_);
        ++tally_.frames;
        if (count > 0) {
            ++tally_.framesWithPrivatePixels;
            if (tally_.firstLeakingFrame < 0)
                tally_.firstLeakingFrame = tally_.frames;
            tally_.lastLeakingFrame = tally_.frames;
        }
        if (count > tally_.mostPrivatePixels) {
            tally_.mostPrivatePixels = count;
            tally_.worstFrame = frame;
        }
    }
    xcb_disconnect(c);
}

int AudienceWatch::privatePixels(const QImage& image) { return ScreenPixels::countWhere(image, isPrivate); }

int AudienceWatch::pixelsOfColour(const QImage& image, const QRect& area, QColor colour)
{
    return ScreenPixels::count(image.copy(area.intersected(image.rect())), colour, tolerance);
}

} // namespace quorvia::test
