#include "platform/linux/capture/X11PictureRefresh.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quorvia::platform::native {

namespace {
constexpr quint32 opaqueBlack = 0xff000000u;
}

QRegion X11PictureRefresh::toGrab(const QRect& bounds, bool holdsPicture, const QRegion& changedSince,
                                  const QRegion& blankedIn, const QRegion& leftOutBefore)
{
    if (!holdsPicture)
        return QRegion(bounds);
    return ((changedSince + (blankedIn - leftOutBefore)) - leftOutBefore) & bounds;
}

QRegion X11PictureRefresh::toBlank(bool holdsPicture, const QRegion& grabbed, const QRegion& blankedIn,
                                   const QRegion& leftOut)
{
    if (!holdsPicture)
        return leftOut;
    return (leftOut - blankedIn) + (leftOut & grabbed);
}

QRegion X11PictureRefresh::changedFromLast(const QRegion& changedSince, const QRegion& leftOutThen,
                                           const QRegion& leftOut)
{
    return (changedSince - (leftOutThen & leftOut)) + leftOutThen.xored(leftOut);
}

void X11PictureRefresh::fillBlackPixels(quint32* row, int count)
{
#if defined(__SSE2__)
    // Single pixels up to a 16-byte boundary, then four at a store.
    while (count > 0 && (reinterpret_cast<std::uintptr_t>(row) & 15) != 0) {
        *row++ = opaqueBlack;
        --count;
    }
    const __m128i four = _mm_set1_epi32(int(opaqueBlack));
    for (; count >= 16; count -= 16, row += 16) {
        _mm_store_si128(reinterpret_cast<__m128i*>(row), four);
        _mm_store_si128(reinterpret_cast<__m128i*>(row + 4), four);
        _mm_store_si128(reinterpret_cast<__m128i*>(row + 8), four);
        _mm_store_si128(reinterpret_cast<__m128i*>(row + 12), four);
    }
    for (; count >= 4; count -= 4, row += 4)
        _mm_store_si128(reinterpret_cast<__m128i*>(row), four);
#else
    const std::uint64_t two = (std::uint64_t(opaqueBlack) << 32) | opaqueBlack;
    for (; count >= 2; count -= 2, row += 2)
        std::memcpy(row, &two, sizeof two);
#endif
    while (count-- > 0)
        *row++ = opaqueBlack;
}

void X11PictureRefresh::fillBlack(QImage& image, const QRegion& region)
{
    for (const QRect& rect : region & image.rect()) {
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            fillBlackPixels(reinterpret_cast<quint32*>(image.scanLine(y)) + rect.left(), rect.width());
    }
}

} // namespace quorvia::platform::native
