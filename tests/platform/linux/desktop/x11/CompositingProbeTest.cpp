#include "platform/desktop/ScreenSpace.h"
#include "platform/desktop/Window.h"
#include "platform/linux/desktop/X11CompositingWatch.h"
#include "platform/linux/desktop/X11WindowSystem.h"
#include "platform/linux/desktop/XcbConnection.h"
#include "support/EventWait.h"
#include "support/QtPrinting.h"
#include "support/ScreenPixels.h"
#include "support/TestPlatform.h"

#include <QApplication>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <optional>

using namespace quorvia;
using namespace quorvia::platform;

namespace {

// Plays a compositing manager's part on the private test server: it owns the
// screen's compositing selection while it lives.
class SelectionOwner {
public:
    SelectionOwner()
    {
        auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        c_ = xcb_connect(nullptr, nullptr);
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
        window_ = xcb_generate_id(c_);
        xcb_create_window(c_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        const QByteArray name = native::X11CompositingWatch::selectionName(DefaultScreen(x11->display()));
        selection_ = native::internXcbAtom(c_, name.constData());
        xcb_set_selection_owner(c_, window_, selection_, XCB_CURRENT_TIME);
        sync();
    }
    // Given up before the connection goes, so no later test finds it still held.
    ~SelectionOwner()
    {
        xcb_set_selection_owner(c_, XCB_NONE, selection_, XCB_CURRENT_TIME);
        sync();
        xcb_disconnect(c_);
    }

private:
    void sync() { std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)); }

    xcb_connection_t* c_ = nullptr;
    xcb_window_t window_ = 0;
    xcb_atom_t selection_ = XCB_ATOM_NONE;
};

// The window's size as the server has it.
QSize serverSize(const QWidget& window)
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* c = x11->connection();
    auto geometry =
        native::xcbReply(xcb_get_geometry_reply(c, xcb_get_geometry(c, xcb_window_t(window.winId())), nullptr));
    return geometry ? QSize(geometry->width, geometry->height) : QSize();
}

} // namespace

TEST(CompositingProbe, ABareServerDoesNotCompositeAndASelectionOwnerDoes)
{
    native::X11WindowSystem x11;
    EXPECT_FALSE(x11.windowsAreComposited());
    {
        SelectionOwner compositor;
        EXPECT_TRUE(x11.windowsAreComposited());
    }
    // Given up, the selection has no owner any more.
    EXPECT_FALSE(x11.windowsAreComposited());
}

TEST(CompositingProbe, TheServerSeesTheShadowsMarginOnlyWhileSomethingComposites)
{
    test::TestPlatform env;
    env.platform().windowSystemService = std::make_shared<native::X11WindowSystem>();
    platform::Window bubble(Rect(200, 200, 56, 56), WindowStyle::borderless);
    bubble.setAttribute(Qt::WA_TranslucentBackground);
    bubble.setShape({WindowShape::Kind::ellipse});
    bubble.setHasShadow(true);
    bubble.orderFront();
    ASSERT_TRUE(test::waitUntil([&] { return bubble.windowHandle()->isExposed(); }));
    EXPECT_FALSE(bubble.drawsShadow());
    EXPECT_EQ(bubble.geometry(), toQtGlobal(bubble.frame()));
    EXPECT_FALSE(bubble.mask().isEmpty());

    SelectionOwner compositor;
    bubble.orderOut();
    bubble.orderFront();
    ASSERT_TRUE(test::waitUntil([&] { return serverSize(bubble) == QSize(56, 56).grownBy(platform::Window::shadowExtent); }));
    EXPECT_TRUE(bubble.drawsShadow());
    EXPECT_TRUE(bubble.mask().isEmpty());
    EXPECT_EQ(bubble.frame(), Rect(200, 200, 56, 56));
    EXPECT_EQ(bubble.geometry(), toQtGlobal(bubble.frame()).marginsAdded(platform::Window::shadowExtent));
}

TEST(CompositingProbe, ShownWindowsTakeTheirShadowOrTheirCutAgainWhenAManagerStartsOrStops)
{
    test::TestPlatform env;
    env.platform().windowSystemService = std::make_shared<native::X11WindowSystem>();
    const test::ScreenPixels screen;
    // A white desktop below, which shows wherever a window is cut away.
    QWidget desktop;
    desktop.setWindowFlags(Qt::FramelessWindowHint);
    desktop.setStyleSheet(QStringLiteral("background: white"));
    desktop.setGeometry(100, 100, 900, 700);
    desktop.show();

    platform::Window bubble(fromQtGlobal(QRectF(200, 200, 56, 56)), WindowStyle::borderless);
    platform::Window island(fromQtGlobal(QRectF(400, 200, 320, 260)), WindowStyle::borderless);
    for (platform::Window* window : {&bubble, &island}) {
        window->setAttribute(Qt::WA_TranslucentBackground);
        window->setHasShadow(true);
        window->orderFront();
    }
    bubble.setShape({WindowShape::Kind::ellipse});
    island.setShape({WindowShape::Kind::roundedRectangle, 24});
    const QColor white(Qt::white);
    const QPoint bubbleCorner(201, 201);
    const QPoint islandCorner(401, 201);
    ASSERT_TRUE(test::waitUntil([&] { return screen.at(bubbleCorner) == white && screen.at(islandCorner) == white; }));

    // A manager starts: the shadow's margin comes and the corners are no longer cut.
    std::optional<SelectionOwner> compositor(std::in_place);
    ASSERT_TRUE(test::waitUntil([&] { return bubble.drawsShadow() && island.drawsShadow(); }));
    EXPECT_EQ(serverSize(bubble), QSize(56, 56).grownBy(platform::Window::shadowExtent));
    EXPECT_EQ(serverSize(island), QSize(320, 260).grownBy(platform::Window::shadowExtent));
    EXPECT_TRUE(test::waitUntil([&] { return screen.at(bubbleCorner) != white && screen.at(islandCorner) != white; }));

    // It stops: no black margin is left and the desktop shows past the corners again.
    compositor.reset();
    ASSERT_TRUE(test::waitUntil([&] { return !bubble.drawsShadow() && !island.drawsShadow(); }));
    EXPECT_EQ(serverSize(bubble), QSize(56, 56));
    EXPECT_EQ(serverSize(island), QSize(320, 260));
    EXPECT_TRUE(test::waitUntil([&] { return screen.at(bubbleCorner) == white && screen.at(islandCorner) == white; }));
}
