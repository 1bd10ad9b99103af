#include "support/XServer.h"

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <optional>

using quorvia::test::XServer;

namespace {
// The root's width, or nothing when no server answers on that display.
std::optional<int> rootWidth(const QString& display)
{
    xcb_connection_t* c = xcb_connect(display.toLocal8Bit().constData(), nullptr);
    std::optional<int> width;
    if (!xcb_connection_has_error(c))
        width = xcb_setup_roots_iterator(xcb_get_setup(c)).data->width_in_pixels;
    xcb_disconnect(c);
    return width;
}
} // namespace

TEST(XServerTest, TheSharedAndAnOwnServerAnswerUntilTheOwnOneIsGone)
{
    EXPECT_EQ(rootWidth(XServer::display()), 1920);
    QString name;
    {
        XServer own;
        name = own.name();
        ASSERT_FALSE(name.isEmpty());
        EXPECT_NE(name, XServer::display());
        EXPECT_EQ(rootWidth(name), 1920);
    }
    EXPECT_EQ(rootWidth(name), std::nullopt);
}
