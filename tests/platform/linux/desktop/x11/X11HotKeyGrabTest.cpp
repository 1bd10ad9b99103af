#include "platform/linux/desktop/X11HotKeyService.h"
#include "support/EventWait.h"
#include "support/QtPrinting.h"
#include "support/XServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>

#include <gtest/gtest.h>

using namespace quorvia::platform;
using native::X11HotKeyService;

namespace {

constexpr std::uint32_t emergency = hotKeyModifier::control | hotKeyModifier::option | hotKeyModifier::command;
constexpr HotKeyID ours{0x51564854, 1};

QByteArray testDisplay() { return quorvia::test::XServer::display().toLocal8Bit(); }

// Types keys into the test's X server as a person would.
void type(const QByteArray& display, const QString& keys)
{
    QProcess xdotool;
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display));
    xdotool.setProcessEnvironment(environment);
    xdotool.start(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("10"), keys});
    ASSERT_TRUE(xdotool.waitForFinished(60000));
    ASSERT_EQ(xdotool.exitCode(), 0) << xdotool.readAllStandardError().toStdString();
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

    X11HotKeyService nowhere(QByteArrayLiteral(":4093"));
    EXPECT_FALSE(nowhere.isAvailable());
    EXPECT_FALSE(nowhere.registerHotKey(hotKeyCode::ansiH, emergency, ours));
}
