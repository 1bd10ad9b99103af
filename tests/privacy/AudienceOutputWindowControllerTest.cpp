#include "platform/desktop/Window.h"
#include "privacy/AudienceCanvasView.h"
#include "privacy/AudienceOutputWindowController.h"
#include "support/FakeVideoSurface.h"
#include "support/QtPrinting.h"

#include <gtest/gtest.h>

using namespace quorvia;
using platform::Rect;

TEST(AudienceOutputWindowController, ShowReusesTheWindowAndOnlyDestroyEndsTheRenderer)
{
    test::FakeVideoSurfaces surfaces;
    AudienceOutputWindowController output;
    EXPECT_FALSE(output.isRendererHealthy());
    output.setMode(AudienceOutputMode::live()); // an empty controller ignores it
    output.show(Rect(0, 0, 800, 600), AudienceOutputMode::standby());
    EXPECT_TRUE(output.isRendererHealthy());
    auto* window = output.window();
    EXPECT_EQ(window->sharingType(), platform::SharingType::none);
    auto* canvas = output.canvas();
    output.hideImmediately();
    EXPECT_FALSE(window->isVisible());

    // Another screen: the same window and canvas, fitted to it.
    output.show(Rect(800, 0, 1024, 768), AudienceOutputMode::safe(QStringLiteral("原因")));
    EXPECT_EQ(output.window(), window);
    EXPECT_EQ(output.canvas(), canvas);
    EXPECT_EQ(window->frame(), Rect(800, 0, 1024, 768));
    EXPECT_TRUE(window->isVisible());

    output.destroy();
    EXPECT_FALSE(output.isRendererHealthy());
    EXPECT_EQ(output.window(), nullptr);
    // Shown again, it builds a fresh window with a renderer that holds nothing.
    output.show(Rect(0, 0, 800, 600), AudienceOutputMode::live());
    EXPECT_EQ(surfaces.created.size(), 2u);
    EXPECT_TRUE(surfaces.created.front().isNull());
    EXPECT_TRUE(output.isRendererHealthy());
}
