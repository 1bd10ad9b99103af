#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace quorvia::test {

// Reads the projector's picture back from the X server, frame after frame on
// a thread of its own, and counts pixels that only the application's private
// windows paint. The test paints its own window in a colour no private window
// uses, and the desktop in another, so a private pixel is anything grey (the
// private windows' dark backgrounds and their anti-aliased white text) or the
// controls' accent blue. The pointer, drawn for the audience, is not counted.
class AudienceWatch {
public:
    struct Tally {
        int frames = 0;
        int framesWithPrivatePixels = 0;
        int mostPrivatePixels = 0;
        int firstLeakingFrame = -1;
        int lastLeakingFrame = -1;
        QImage worstFrame;
    };

    AudienceWatch(const QString& display, const QRect& projector);
    ~AudienceWatch();
    AudienceWatch(const AudienceWatch&) = delete;
    AudienceWatch& operator=(const AudienceWatch&) = delete;

    void start();
    Tally stop();
    Tally tally() const;
    // The test put the pointer at `rootPoint` and moved it on at once, perhaps
    // between two of the watch's own looks: leave out where it was all the same.
    void pointerWasAt(QPoint rootPoint);

    // One read of the projector, outside the watch.
    QImage grab() const;

    static int privatePixels(const QImage& image);
    // Pixels of `image` inside `area` that have `colour` (within a small tolerance).
    static int pixelsOfColour(const QImage& image, const QRect& area, QColor colour);

private:
    void run();

    QString display_;
    QRect projector_;
    std::atomic<bool> running_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    Tally tally_;
    std::vector<QPoint> pointerPutAt_;
};

} // namespace quorvia::test
