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

// Runs `program` on the test's X server: xdotool as a person's keys, setxkbmap
// and xmodmap as a desktop's keyboard settings.
void run(const QByteArray& display, const QString& program, const QStringList& arguments)
{
    QProcess process;
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display));
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    ASSERT_TRUE(process.waitForFinished(60000)) << program.toStdString();
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
}

void xdotool(const QByteArray& display, const QString& command) { run(display, QStringLiteral("xdotool"), command.split(u' ')); }

// Super moved from Mod4 to Mod3, as a desktop's keyboard settings may.
const QStringList superOnMod3{QStringLiteral("-e"), QStringLiteral("remove mod4 = Super_L Super_R"), QStringLiteral("-e"),
                              QStringLiteral("add mod3 = Super_L Super_R")};

// The test server's keymap laid anew from its rules, as it started, when this goes.
struct KeymapRestored {
    ~KeymapRestored() { run(testDisplay(), QStringLiteral("setxkbmap"), {QStringLiteral("-option"), QString()}); }
};

void type(const QByteArray& display, const QString& keys) { xdotool(display, QStringLiteral("key --delay 10 ") + keys); }

// Another client's active grab of the whole keyboard, as an open menu or a
// window manager's move holds one, until it disconnects.
bool holdKeyboardElsewhere(xcb_connection_t* c)
{
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    auto* reply = xcb_grab_keyboard_reply(c, xcb_grab_keyboard(c, 0, root, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC), nullptr);
    const bool held = reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
    std::free(reply);
    return held;
}

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

    // Once Super's bit moves, the holder holds the combination by the new bit.
    const KeymapRestored restored;
    int acted = 0;
    service.installHandler([&](HotKeyID) { return ++acted, HotKeyEventStatus::handled; });
    ASSERT_NO_FATAL_FAILURE(run(testDisplay(), QStringLiteral("xmodmap"), superOnMod3));
    type(testDisplay(), QStringLiteral("ctrl+alt+super+h"));
    ASSERT_TRUE(quorvia::test::waitUntil([&] { return acted == 1; }));
    EXPECT_FALSE(X11HotKeyService(testDisplay()).registerHotKey(hotKeyCode::ansiH, emergency, ours));

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
    const QString held = QStringLiteral("keydown ctrl+alt+super+h keydown h keydown h keyup ctrl+alt+super+h");
    const QString wrong = QStringLiteral("key ctrl+alt+h ctrl+alt+super+shift+h super+h h");
    const QStringList swapCaps{QStringLiteral("-option"), QString(), QStringLiteral("-option"), QStringLiteral("ctrl:swapcaps")};
    const struct {
        const char* name;
        bool grabbedElsewhere;
        QString keys;
        int acts;
        // Keyboard settings applied first, long after the service started.
        std::vector<std::pair<QString, QStringList>> settings = {};
    } cases[] = {
        {"a press", false, QStringLiteral("key ctrl+alt+super+h"), 1},
        {"a press during another's grab", true, QStringLiteral("key ctrl+alt+super+h"), 1},
        {"a held key", false, held, 1},
        {"a held key during another's grab", true, held, 1},
        {"the wrong modifiers during another's grab", true, wrong, 0},
        {"the exact ones after the wrong ones", true, wrong + QStringLiteral(" ctrl+alt+super+h"), 1},
        {"a press after Control moved to Caps Lock and Super to Mod3", false, QStringLiteral("key ctrl+alt+super+h"), 1,
         {{QStringLiteral("setxkbmap"), swapCaps}, {QStringLiteral("xmodmap"), superOnMod3}}},
        {"a press during another's grab after Control moved to Caps Lock", true, QStringLiteral("key ctrl+alt+super+h"), 1,
         {{QStringLiteral("setxkbmap"), swapCaps}}},
        {"a press during another's grab after Super moved too", true, QStringLiteral("key ctrl+alt+super+h"), 1,
         {{QStringLiteral("xmodmap"), superOnMod3}}},
    };
    const KeymapRestored restored;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        pressed = 0;
        for (const auto& [program, arguments] : c.settings)
            ASSERT_NO_FATAL_FAILURE(run(testDisplay(), program, arguments));
        xcb_connection_t* other = xcb_connect(testDisplay().constData(), nullptr);
        EXPECT_TRUE(!c.grabbedElsewhere || holdKeyboardElsewhere(other));
        xdotool(testDisplay(), c.keys);
        quorvia::test::waitUntil([&] { return pressed >= c.acts; }, 5000);
        quorvia::test::runEventsFor(300);
        xcb_disconnect(other);
        EXPECT_EQ(pressed, c.acts);
    }
}
