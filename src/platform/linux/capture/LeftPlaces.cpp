#include "platform/linux/capture/LeftPlaces.h"

namespace quorvia::platform::native {

void LeftPlaces::left(const QRect& place)
{
    unexposed_ += place;
    // Blank either way while it is unexposed: taken out only so each place
    // is in one state, as the picture in LeftPlaces.h has it.
    awaitingDrawing_ -= place;
    heldForPicture_ += place;
}

void LeftPlaces::exposingWindowGone(const QRect& place)
{
    awaitingDrawing_ += unexposed_ & place;
    unexposed_ -= place;
}

void LeftPlaces::drawn(const QRect& area) { awaitingDrawing_ -= area; }

} // namespace quorvia::platform::native
