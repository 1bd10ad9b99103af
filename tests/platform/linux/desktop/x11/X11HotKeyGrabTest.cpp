#include "platform/linux/desktop/X11HotKeyService.h"
#include "support/EventWait.h"
#include "support/QtPrinting.h"
#include "support/XServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

using namespace quorvia::platform;
using native::X11HotKeyService;

namespace {

constexpr std::uint32_t emergency = hotKeyModifier::control | hotKeyModifier::option | hotKeyModifier::command;
constexpr HotKeyID ours{0x51564854, 1};

QByteArray testDisplay() { return quorvia::test::XServer::display().toLocal8Bit(); }

// Runs xdotool on the test's X server, as a person's keys.
void xdotool(const QByteArray& display, const QStringList& arguments)
{
    QProcess xdotool;
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display));
    xdotool.setProcessEnvironment(environment);
    xdotool.start(QStringLiteral("xdotool"), arguments);
    ASSERT_TRUE(xdotool.waitForFinished(60000));
    ASSERT_EQ(xdotool.exitCode(), 0) << xdotool.readAllStandardError().toStdString();
}

// Types keys into the test's X server as a person would.
void type(const QByteArray& display, const QString& keys)
{
    xdotool(display, {QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("10"), keys});
}

// Another client's active grab of the whole keyboard, as an open menu or a
// window manager's move holds it, for as long as this object lives.
class KeyboardHeldElsewhere {
public:
    explicit KeyboardHeldElsewhere(const QByteArray& display) : connection_(xcb_connect(display.constData(), nullptr))
    {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        auto* reply = xcb_grab_keyboard_reply(
            connection_, xcb_grab_keyboard(connection_, 0, root, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC), nullptr);
        held_ = reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
        std::free(reply);
    }
    ~KeyboardHeldElsewhere() { xcb_disconnect(connection_); }
    bool held() const { return held_; }

private:
    xcb_connection_t* connection_;
    bool held_ = false;
};

} // namespace

TEST(X11HotKeyGrab, ExactCombinationFiresWithAndWithoutLockKeys)
{
    X11HotKeyService service(testDisplay());
    ASSERT_TRUE(service.isAvailable());
    std::vector<HotKeyID> pressed;
    int passedOn = 0;
    service.installHandler([&](HotKeyID id) {
        ++passedOn;
        pressed.push_back(id);
        return HotKeyEventStatus::handled;
    });
    // A newer handler that declines lets the press go on to the older one.
    service.installHandler([&](HotKeyID) { return HotKeyEventStatus::notHandled; });
    const auto ref = service.registerHotKey(hotKeyCode::ansiH, emergency, ours);
    ASSERT_TRUE(ref);

    type(testDisplay(), QStringLiteral("ctrl+alt+super+shift+h"));
    type(testDisplay(), QStringLiteral("ctrl+alt+super+h"));
    ASSERT_TRUE(quorvia::test::waitUntil([&] { return pressed.size() == 1; }));
    EXPECT_EQ(pressed.front(), ours);

    type(testDisplay(), QStringLiteral("Caps_Lock"));
    type(testDisplay(), QStringLiteral("ctrl+alt+super+h"));
    type(testDisplay(), QStringLiteral("Caps_Lock"));
    type(testDisplay(), QStringLiteral("Num_Lock"));
    type(testDisplay(), QStringLiteral("ctrl+alt+super+h"));
    type(testDisplay(), QStringLiteral("Num_Lock"));
    ASSERT_TRUE(quorvia::test::waitUntil([&] { return pressed.size() == 3; }));

    // Once a later combination arrives, the released one has had its turn.
    service.unregisterHotKey(*ref);
    constexpr HotKeyID later{ours.signature, 2};
    ASSERT_TRUE(service.registerHotKey(hotKeyCode::ansiH, emergency | hotKeyModifier::shift, later));
    type(testDisplay(), QStringLiteral("ctrl+alt+super+h"));
    type(testDisplay(), QStringLiteral("ctrl+alt+super+shift+h"));
    ASSERT_TRUE(quorvia::test::waitUntil([&] { return pressed.size() >= 4; }));
    EXPECT_EQ(pressed.size(), 4u);
    EXPECT_EQ(pressed.back(), later);
}

TEST(X11HotKeyGrab, ACombinationHeldElsewhereIsUnavailableUntilReleased)
{
    auto other = std::make_unique<X11HotKeyService>(testDisplay());
    ASSERT_TRUE(other->registerHotKey(hotKeyCode::ansiH, emergency, ours));

    X11HotKeyService service(testDisplay());
    EXPECT_FALSE(service.registerHotKey(hotKeyCode::ansiH, emergency, ours));
    // The refused attempt took nothing away from the holder... and a shifted
    // combination is a different one.
    EXPECT_TRUE(service.registerHotKey(hotKeyCode::ansiH, emergency | hotKeyModifier::shift, ours));

    // The holder releases its grabs when it goes.
    other.reset();
    EXPECT_TRUE(service.registerHotKey(hotKeyCode::ansiH, emergency, ours));

    X11HotKeyService nowhere(QByteArrayLiteral(":4093"));
    EXPECT_FALSE(nowhere.isAvailable());
    EXPECT_FALSE(nowhere.registerHotKey(hotKeyCode::ansiH, emergency, ours));
}

// Each press acts once, whether the passive grab sees it, the raw events do or
// both; a held key's repeats and the wrong modifiers act never.
TEST(X11HotKeyGrab, EveryPressActsOnceWhoeverHoldsTheKeyboard)
{
    X11HotKeyService service(testDisplay());
    int pressed = 0;
    service.installHandler([&](HotKeyID) { return ++pressed, HotKeyEventStatus::handled; });
    ASSERT_TRUE(service.registerHotKey(hotKeyCode::ansiH, emergency, ours));
    const QStringList once{QStringLiteral("key"), QStringLiteral("ctrl+alt+super+h")};
    const QStringList held{QStringLiteral("keydown"), QStringLiteral("ctrl+alt+super+h"), QStringLiteral("keydown"),
                           QStringLiteral("h"), QStringLiteral("keydown"), QStringLiteral("h"),
                           QStringLiteral("keyup"), QStringLiteral("ctrl+alt+super+h")};
    const QStringList wrong{QStringLiteral("key"), QStringLiteral("ctrl+alt+h"), QStringLiteral("ctrl+alt+super+shift+h"),
                            QStringLiteral("super+h"), QStringLiteral("h")};
    const struct {
        const char* name;
        bool grabbedElsewhere;
        QStringList keys;
        int acts;
    } cases[] = {
        {"a press", false, once, 1},
        {"a press during another's grab", true, once, 1},
        {"a held key", false, held, 1},
        {"a held key during another's grab", true, held, 1},
        {"the wrong modifiers during another's grab", true, wrong, 0},
        {"the exact ones after the wrong ones", true, wrong + once.mid(1), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        pressed = 0;
        std::optional<KeyboardHeldElsewhere> other;
        if (c.grabbedElsewhere)
            ASSERT_TRUE(other.emplace(testDisplay()).held());
        xdotool(testDisplay(), c.keys);
        quorvia::test::waitUntil([&] { return pressed >= c.acts; }, 5000);
        quorvia::test::runEventsFor(300);
        EXPECT_EQ(pressed, c.acts);
    }
}
