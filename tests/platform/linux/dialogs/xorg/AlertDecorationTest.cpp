#include "platform/linux/dialogs/QtDialogService.h"
#include "support/EventWait.h"
#include "support/FakeDisplayService.h"
#include "support/Snapshot.h"
#include "support/TestPlatform.h"
#include "support/WindowManagedTwoOutputTest.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <vector>

using namespace quorvia;

namespace {

// A window's property as 32-bit items, read on a connection of the test's own.
class PropertyReader {
public:
    explicit PropertyReader(const QString& display) : c_(xcb_connect(qPrintable(display), nullptr)) {}
    ~PropertyReader() { xcb_disconnect(c_); }

    xcb_atom_t atom(const char* name)
    {
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
            xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, std::uint16_t(std::strlen(name)), name), nullptr), &std::free);
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }
    std::vector<std::uint32_t> items(std::uint32_t window, const char* name)
    {
        std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
            xcb_get_property_reply(c_, xcb_get_property(c_, 0, window, atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 64), nullptr),
            &std::free);
        if (!reply || reply->format != 32)
            return {};
        const auto* begin = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
        return {begin, begin + xcb_get_property_value_length(reply.get()) / 4};
    }

private:
    xcb_connection_t* c_;
};

// Whether a Motif hint offers something: with its "all" bit set the bits
// listed are the ones left out.
bool offers(const std::vector<std::uint32_t>& motif, std::size_t field, std::uint32_t usedBit, std::uint32_t bit)
{
    if (motif.size() < 3 || !(motif[0] & usedBit))
        return true; // no hint: the manager's defaults, buttons included
    const bool all = motif[field] & 1u;
    return all != bool(motif[field] & bit);
}

class AlertDecorationTest : public test::WindowManagedTwoOutputTest {};

// An alert is answered, never maximised: neither the hints it gives nor the
// actions the window manager allows offer to.
TEST_P(AlertDecorationTest, AnAlertOffersNoMaximiseButton)
{
    test::TestPlatform env;
    auto displays = std::make_shared<test::FakeDisplayService>();
    platform::Screen builtIn = test::FakeDisplayService::builtIn(1);
    builtIn.frame = builtIn.visibleFrame = platform::Rect(0, 0, 1920, 1080);
    displays->setScreens({builtIn});
    env.platform().displayService = displays;
    PropertyReader properties(display);
    std::vector<std::uint32_t> motif;
    std::vector<std::uint32_t> actions;
    QTimer::singleShot(0, [&] {
        QWidget* alert = QApplication::activeModalWidget();
        ASSERT_NE(alert, nullptr) << "the alert never showed";
        const auto id = std::uint32_t(alert->winId());
        EXPECT_TRUE(test::waitUntil([&] { return alert->testAttribute(Qt::WA_Mapped); }));
        if (GetParam() == test::Manager::openbox) {
            EXPECT_TRUE(test::waitUntil([&] { return !(actions = properties.items(id, "_NET_WM_ALLOWED_ACTIONS")).empty(); }));
        }
        test::keepSnapshot(alert->grab(), QStringLiteral("alert"));
        motif = properties.items(id, "_MOTIF_WM_HINTS");
        alert->close();
    });
    platform::native::QtDialogService dialogs;
    platform::AlertRequest request;
    request.messageText = QStringLiteral("导入备份失败");
    request.informativeText = QStringLiteral("项目“小文稿演讲”的演示文稿中有指向它以外的链接。备份只收录演示文稿本身的文件。");
    request.buttons = {QStringLiteral("知道了")};
    dialogs.runAlert(request);

    constexpr std::uint32_t functions = 1, decorations = 2;
    EXPECT_FALSE(offers(motif, 1, functions, 0x10)) << "maximising is offered";
    EXPECT_FALSE(offers(motif, 2, decorations, 0x40)) << "a maximise button is asked for";
    for (const char* name : {"_NET_WM_ACTION_MAXIMIZE_HORZ", "_NET_WM_ACTION_MAXIMIZE_VERT"})
        EXPECT_EQ(std::count(actions.begin(), actions.end(), properties.atom(name)), 0) << name;
}

QUORVIA_UNDER_EACH_WINDOW_MANAGER(AlertDecorationTest);

} // namespace
