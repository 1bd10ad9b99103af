#include "platform/core/Geometry.h"

#include <gtest/gtest.h>

using namespace quorvia::platform;

TEST(Geometry, HalfOpenContainment)
{
    const Rect r(0, 0, 100, 50);
    EXPECT_TRUE(r.contains(Point{0, 0}));
    EXPECT_TRUE(r.contains(Point{99.9, 49.9}));
    EXPECT_FALSE(r.contains(Point{100, 10}));
    EXPECT_FALSE(r.contains(Point{10, 50}));
    EXPECT_TRUE(r.contains(Rect(0, 0, 100, 50)));
    EXPECT_FALSE(r.contains(Rect(1, 0, 100, 50)));
}

TEST(Geometry, IntersectionOfTouchingRectsIsEmpty)
{
    const Rect a(0, 0, 100, 100);
    EXPECT_FALSE(a.intersects(Rect(100, 0, 10, 10)));
    EXPECT_TRUE(a.intersects(Rect(99, 99, 10, 10)));
    EXPECT_EQ(a.intersection(Rect(50, 50, 100, 100)), Rect(50, 50, 50, 50));
    EXPECT_TRUE(a.intersection(Rect(200, 0, 10, 10)).isEmpty());
    EXPECT_EQ(a.insetBy(10, 5), Rect(10, 5, 80, 90));
}

TEST(Geometry, QtConversionRoundTrips)
{
    // A 1440x900 primary screen; an external display to its right, lower down.
    const double primaryHeight = 900;
    const Rect island(100, 800, 400, 60);
    const QRectF qt = toQt(island, primaryHeight);
    EXPECT_EQ(qt, QRectF(100, 40, 400, 60));
    EXPECT_EQ(fromQt(qt, primaryHeight), island);

    const Rect below(1440, -200, 1920, 1080);
    EXPECT_EQ(toQt(below, primaryHeight), QRectF(1440, 20, 1920, 1080));
    EXPECT_EQ(fromQt(toQt(below, primaryHeight), primaryHeight), below);
    EXPECT_EQ(fromQt(toQt(Point{3, 4}, primaryHeight), primaryHeight), (Point{3, 4}));
}
