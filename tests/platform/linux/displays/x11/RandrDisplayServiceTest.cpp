#include "platform/core/NotificationCenter.h"
#include "platform/desktop/ScreenSpace.h"
#include "platform/linux/displays/RandrDisplayService.h"
#include "support/EventWait.h"
#include "support/QtPrinting.h"
#include "support/XServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QScreen>

#include <gtest/gtest.h>

#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

using namespace quorvia;
using namespace quorvia::platform;
using native::RandrDisplayService;

namespace {

// Switches the server's one output to a new mode, as a display settings tool would.
bool switchMode(const QString& display, std::uint16_t width, std::uint16_t height)
{
    xcb_connection_t* c = xcb_connect(display.toLocal8Bit().constData(), nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return false;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    auto* resources = xcb_randr_get_screen_resources_current_reply(c, xcb_randr_get_screen_resources_current(c, root),
                                                                   nullptr);
    bool done = false;
    if (resources && resources->num_outputs > 0 && resources->num_crtcs > 0) {
        xcb_randr_output_t output = xcb_randr_get_screen_resources_current_outputs(resources)[0];
        const xcb_randr_crtc_t crtc = xcb_randr_get_screen_resources_current_crtcs(resources)[0];
        xcb_randr_mode_info_t info{};
        info.width = width;
        info.height = height;
        info.htotal = width;
        info.vtotal = height;
        info.dot_clock = 60u * width * height;
        const QByteArray name = QByteArray::number(width) + "x" + QByteArray::number(height) + "-test";
        info.name_len = std::uint16_t(name.size());
        auto* mode = xcb_randr_create_mode_reply(c, xcb_randr_create_mode(c, root, info, info.name_len, name.constData()),
                                                 nullptr);
        if (mode) {
            std::free(xcb_request_check(c, xcb_randr_add_output_mode_checked(c, output, mode->mode)));
            auto* set = xcb_randr_set_crtc_config_reply(
                c, xcb_randr_set_crtc_config(c, crtc, XCB_CURRENT_TIME, resources->config_timestamp, 0, 0, mode->mode,
                                             XCB_RANDR_ROTATION_ROTATE_0, 1, &output),
                nullptr);
            done = set && set->status == XCB_RANDR_SET_CONFIG_SUCCESS;
            std::free(set);
        }
        std::free(mode);
    }
    std::free(resources);
    xcb_disconnect(c);
    return done;
}

} // namespace

TEST(RandrDisplayService, OneVirtualScreenIsTheBuiltInOneAndAgreesWithQt)
{
    RandrDisplayService service;
    ASSERT_TRUE(service.isAvailable());
    const auto screens = service.screens();
    ASSERT_EQ(screens.size(), 1u);
    const Screen& screen = screens.front();
    ASSERT_TRUE(screen.displayID.has_value());
    EXPECT_TRUE(screen.isBuiltIn);
    EXPECT_FALSE(screen.isInMirrorSet);
    EXPECT_EQ(screen.frame, fromQtGlobal(QRectF(QGuiApplication::primaryScreen()->geometry())));
    // Xvfb's output carries no EDID: no identity, the connector's name.
    EXPECT_EQ(screen.vendorNumber, 0u);
    EXPECT_FALSE(screen.localizedName.isEmpty());
    EXPECT_EQ(service.mainScreen(), screen);
}

TEST(RandrDisplayService, AModeChangeIsAnnouncedAndReadBack)
{
    test::XServer server;
    ASSERT_FALSE(server.name().isEmpty());
    RandrDisplayService service(server.name().toLocal8Bit());
    ASSERT_TRUE(service.isAvailable());
    int changes = 0;
    auto observation = NotificationCenter::defaultCenter().observe(
        DisplayService::screenParametersChangedNotification, nullptr, [&](const auto&) { ++changes; });

    ASSERT_TRUE(switchMode(server.name(), 1024, 768));
    ASSERT_TRUE(test::waitUntil([&] { return changes > 0; }));
    const auto screens = service.screens();
    ASSERT_EQ(screens.size(), 1u);
    EXPECT_EQ(screens.front().frame.size, (Size{1024, 768}));

    RandrDisplayService nowhere(QByteArrayLiteral(":4093"));
    EXPECT_FALSE(nowhere.isAvailable());
    EXPECT_TRUE(nowhere.screens().empty());
}

// The tables are asked of the server again only after it told of a change,
// which a call finds without a round trip: a change is read back at once.
TEST(RandrDisplayService, TheTablesAreReadAgainOnlyAfterTheServerToldOfAChange)
{
    test::XServer server;
    ASSERT_FALSE(server.name().isEmpty());
    RandrDisplayService service(server.name().toLocal8Bit());
    ASSERT_TRUE(service.isAvailable());
    const auto first = service.screens();
    ASSERT_EQ(first.size(), 1u);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(service.screens(), first);
    EXPECT_EQ(service.tableReads(), 1);

    ASSERT_TRUE(switchMode(server.name(), 1024, 768));
    const auto switched = service.screens();
    ASSERT_EQ(switched.size(), 1u);
    EXPECT_EQ(switched.front().frame.size, (Size{1024, 768}));
    EXPECT_EQ(service.tableReads(), 2);
    EXPECT_EQ(service.screens(), switched);
    EXPECT_EQ(service.tableReads(), 2);
}
