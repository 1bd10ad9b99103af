#include "support/XServer.h"
#include "support/QtPrinting.h"

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <cstdlib>
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

// A mark on the server's root, so a server that later takes the same display
// number (tests start their own beside this one) is not taken for it.
constexpr char markName[] = "QUORVIA_TEST_SERVER_MARK";

void markRoot(const QString& display, const QByteArray& mark)
{
    xcb_connection_t* c = xcb_connect(display.toLocal8Bit().constData(), nullptr);
    ASSERT_FALSE(xcb_connection_has_error(c));
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof markName - 1, markName), nullptr);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, root, atom->atom, XCB_ATOM_STRING, 8, mark.size(), mark.constData());
    free(atom);
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    xcb_disconnect(c);
}

// Whether a server answers on the display and bears the mark.
bool bearsMark(const QString& display, const QByteArray& mark)
{
    xcb_connection_t* c = xcb_connect(display.toLocal8Bit().constData(), nullptr);
    bool marked = false;
    if (!xcb_connection_has_error(c)) {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, sizeof markName - 1, markName), nullptr);
        if (atom && atom->atom != XCB_ATOM_NONE) {
            xcb_get_property_reply_t* value =
                xcb_get_property_reply(c, xcb_get_property(c, 0, root, atom->atom, XCB_ATOM_STRING, 0, 64), nullptr);
            marked = value && QByteArray(static_cast<const char*>(xcb_get_property_value(value)),
                                         xcb_get_property_value_length(value)) == mark;
            free(value);
        }
        free(atom);
    }
    xcb_disconnect(c);
    return marked;
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
        markRoot(name, "own");
        EXPECT_TRUE(bearsMark(name, "own"));
    }
    EXPECT_FALSE(bearsMark(name, "own"));
}
