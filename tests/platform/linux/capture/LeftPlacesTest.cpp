#include "platform/linux/capture/LeftPlaces.h"

#include <gtest/gtest.h>

using quorvia::platform::native::LeftPlaces;

namespace {
const QRect a(100, 100, 200, 100);
const QRect b(600, 400, 200, 100);
} // namespace

// Drawing reported before our exposure may be the window that left (a frame
// shrinking reports drawing over its whole inner window); only drawing after
// the exposure releases the place, and only where it was drawn.
TEST(LeftPlacesTest, APlaceIsReleasedOnlyByDrawingAfterItsExposure)
{
    LeftPlaces places;
    places.left(a);
    places.pictureStarts();
    places.drawn(a);
    EXPECT_EQ(places.toBlank(), QRegion(a)) << "unexposed";

    places.exposingWindowGone(a.adjusted(0, 0, -100, 0));
    places.drawn(a);
    EXPECT_EQ(places.toBlank(), QRegion(a.adjusted(100, 0, 0, 0))) << "the part still unexposed";

    places.exposingWindowGone(a);
    EXPECT_EQ(places.toBlank(), QRegion(a.adjusted(100, 0, 0, 0))) << "exposed, awaiting drawing";
    places.drawn(a.adjusted(100, 0, 0, -50));
    EXPECT_EQ(places.toBlank(), QRegion(a.adjusted(100, 50, 0, 0)));
    places.drawn(a);
    EXPECT_TRUE(places.toBlank().isEmpty()) << "released";
}

// The window may have stood at a place left after the picture started when
// the picture was read: drawing there later says nothing of that picture.
TEST(LeftPlacesTest, APlaceLeftAndDrawnAgainAfterThePictureStartedStaysBlankUntilTheNext)
{
    LeftPlaces places;
    places.pictureStarts();
    places.left(b);
    places.exposingWindowGone(b);
    places.drawn(b);
    EXPECT_EQ(places.toBlank(), QRegion(b)) << "held for the picture being read";
    places.pictureStarts();
    EXPECT_TRUE(places.toBlank().isEmpty());
}

// Left again while awaiting drawing, a place waits for a new exposure.
TEST(LeftPlacesTest, APlaceLeftAgainIsUnexposedAgain)
{
    LeftPlaces places;
    places.left(a);
    places.exposingWindowGone(a);
    places.left(a);
    places.pictureStarts();
    places.drawn(a);
    EXPECT_EQ(places.toBlank(), QRegion(a));
    places.exposingWindowGone(a);
    places.drawn(a);
    EXPECT_TRUE(places.toBlank().isEmpty());
}
