#include "platform/ScreenSpace.h"
#include "platform/Window.h"
#include "platform/linux/X11WindowHints.h"
#include "platform/linux/XcbConnection.h"
#include "support/EventWait.h"
#include "support/TestPlatform.h"

#include <QApplication>
#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <xcb/xcb.h>

#include <cstdlib>

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
        const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(DefaultScreen(x11->display()));
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

void settle(int ms = 200) { quorvia::test::runEventsFor(ms); }

} // namespace

TEST(CompositingProbe, ABareServerDoesNotCompositeAndASelectionOwnerDoes)
{
    EXPECT_FALSE(native::windowsAreComposited());
    {
        SelectionOwner compositor;
        EXPECT_TRUE(native::windowsAreComposited());
    }
    // Given up, the selection has no owner any more.
    EXPECT_FALSE(native::windowsAreComposited());
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
    settle();
    EXPECT_FALSE(bubble.drawsShadow());
    EXPECT_EQ(bubble.geometry(), toQtGlobal(bubble.frame()));
    EXPECT_FALSE(bubble.mask().isEmpty());

    SelectionOwner compositor;
    bubble.orderOut();
    bubble.orderFront();
    settle();
    EXPECT_TRUE(bubble.drawsShadow());
    EXPECT_TRUE(bubble.mask().isEmpty());
    EXPECT_EQ(bubble.frame(), Rect(200, 200, 56, 56));
    EXPECT_EQ(bubble.geometry(), toQtGlobal(bubble.frame()).marginsAdded(platform::Window::shadowExtent));
}
