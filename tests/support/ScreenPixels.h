#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>

#include <cstdint>
#include <cstdlib>

struct xcb_connection_t;

namespace quorvia::test {

// What an X server shows, read back on a connection of its own, and the
// counting of pixels in what was read or captured.
class ScreenPixels {
public:
    // The display DISPLAY names when `display` is empty.
    explicit ScreenPixels(const QString& display = {});
    ~ScreenPixels();
    ScreenPixels(const ScreenPixels&) = delete;
    ScreenPixels& operator=(const ScreenPixels&) = delete;

    // Null when the server cannot be reached or `area` lies off the screen.
    QImage read(const QRect& area) const;
    QColor at(QPoint point) const;
    // What a window of the server holds itself, whether or not it is covered.
    QImage readWindow(std::uint32_t window) const;

    template <class Matches>
    static int countWhere(const QImage& image, Matches matches)
    {
        const QImage plain = image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32
                                 ? image
                                 : image.convertToFormat(QImage::Format_RGB32);
        int n = 0;
        for (int y = 0; y < plain.height(); ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(plain.constScanLine(y));
            for (int x = 0; x < plain.width(); ++x)
                n += matches(row[x] | 0xff000000u) ? 1 : 0;
        }
        return n;
    }
    // Whether `pixel` has `colour`, each channel within `tolerance`.
    static bool matches(QRgb pixel, QColor colour, int tolerance = 0)
    {
        const auto near = [tolerance](int a, int b) { return std::abs(a - b) <= tolerance; };
        return near(qRed(pixel), colour.red()) && near(qGreen(pixel), colour.green())
               && near(qBlue(pixel), colour.blue());
    }
    static int count(const QImage& image, QColor colour, int tolerance = 0)
    {
        return countWhere(image, [&](QRgb p) { return matches(p, colour, tolerance); });
    }

private:
    QImage readFrom(std::uint32_t drawable, const QRect& area) const;

    xcb_connection_t* connection_ = nullptr;
};

} // namespace quorvia::test
