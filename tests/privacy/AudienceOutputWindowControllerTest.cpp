#include "platform/Window.h"
#include "privacy/AudienceCanvasView.h"
#include "privacy/AudienceOutputWindowController.h"
#include "support/FakeVideoSurface.h"

#include <gtest/gtest.h>

using namespace quorvia;
using platform::Rect;

TEST(AudienceOutputWindowController, RendererIsUnhealthyWithoutAWindow)
{
    test::FakeVideoSurfaces surfaces;
    AudienceOutputWindowController output;
    EXPECT_FALSE(output.isRendererHealthy());
    // Operations on an empty controller do nothing.
    output.setMode(AudienceOutputMode::live());
    output.hideImmediately();
    EXPECT_EQ(output.window(), nullptr);

    output.show(Rect(0, 0, 800, 600), AudienceOutputMode::standby());
    EXPECT_TRUE(output.isRendererHealthy());
    output.destroy();
    EXPECT_FALSE(output.isRendererHealthy());
    EXPECT_EQ(output.window(), nullptr);
    EXPECT_EQ(output.canvas(), nullptr);
}

TEST(AudienceOutputWindowController, BuildsAnOverlayLeftOutOfCapture)
{
    test::FakeVideoSurfaces surfaces;
    AudienceOutputWindowController output;
    output.show(Rect(0, 0, 800, 600), AudienceOutputMode::standby());
    auto* window = output.window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->level(), platform::Window::overlayLevel);
    EXPECT_EQ(window->sharingType(), platform::SharingType::none);
    EXPECT_TRUE(window->ignoresMouseEvents());
    EXPECT_TRUE(contains(window->collectionBehavior(), platform::CollectionBehavior::canJoinAllSpaces));
    EXPECT_TRUE(contains(window->collectionBehavior(), platform::CollectionBehavior::stationary));
    EXPECT_TRUE(contains(window->collectionBehavior(), platform::CollectionBehavior::ignoresCycle));
    EXPECT_EQ(window->frame(), Rect(0, 0, 800, 600));
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->contentView(), output.canvas());
}

TEST(AudienceOutputWindowController, ShowOnAnotherScreenReusesTheWindowAndFitsIt)
{
    test::FakeVideoSurfaces surfaces;
    AudienceOutputWindowController output;
    output.show(Rect(0, 0, 800, 600), AudienceOutputMode::standby());
    auto* window = output.window();
    auto* canvas = output.canvas();
    output.hideImmediately();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(output.window(), window);

    output.show(Rect(800, 0, 1024, 768), AudienceOutputMode::safe(QStringLiteral("原因")));
    EXPECT_EQ(output.window(), window);
    EXPECT_EQ(output.canvas(), canvas);
    EXPECT_EQ(window->frame(), Rect(800, 0, 1024, 768));
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(canvas->mode().kind, AudienceOutputMode::Kind::safe);
    EXPECT_EQ(surfaces.created.size(), 1u);
}

TEST(AudienceOutputWindowController, DestroyedControllerBuildsAFreshWindow)
{
    test::FakeVideoSurfaces surfaces;
    AudienceOutputWindowController output;
    output.show(Rect(0, 0, 800, 600), AudienceOutputMode::live());
    platform::SampleBuffer buffer;
    buffer.frameStatus = 0;
    buffer.image = QImage(4, 4, QImage::Format_RGB32);
    output.enqueue(buffer);
    EXPECT_EQ(surfaces.last()->enqueued, 1);
    output.destroy();
    EXPECT_TRUE(surfaces.created.front().isNull());
    output.show(Rect(0, 0, 800, 600), AudienceOutputMode::live());
    ASSERT_NE(output.window(), nullptr);
    EXPECT_EQ(surfaces.created.size(), 2u);
    EXPECT_EQ(surfaces.last()->enqueued, 0);
    EXPECT_TRUE(output.isRendererHealthy());
}
