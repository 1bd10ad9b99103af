#include "platform/linux/system/LinuxProcessService.h"
#include "support/DBusSessionBus.h"
#include "support/EventWait.h"
#include "support/QtPrinting.h"
#include "support/TestPlatform.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QObject>

#include <gtest/gtest.h>

#include <set>

using namespace quorvia;
using platform::ActivityOptions;
using platform::native::LinuxProcessService;

namespace {

// The desktop's inhibit service as the test plays it.
class StandInScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    int inhibitCalls = 0;
    int unInhibitCalls = 0;
    std::set<uint> held;
    QString lastApplication;
    QString lastReason;

public slots:
    uint Inhibit(const QString& application, const QString& reason)
    {
        ++inhibitCalls;
        lastApplication = application;
        lastReason = reason;
        held.insert(nextCookie);
        return nextCookie++;
    }
    void UnInhibit(uint cookie)
    {
        ++unInhibitCalls;
        held.erase(cookie);
    }

private:
    uint nextCookie = 7;
};

// Once a call sent now is answered, whatever the client sent before has
// reached the stand-in, and the replies that came before were handled.
void roundTrip(const QDBusConnection& client)
{
    QDBusPendingCallWatcher call(client.asyncCall(QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("/org/freedesktop/ScreenSaver"),
        QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect"))));
    bool answered = false;
    QObject::connect(&call, &QDBusPendingCallWatcher::finished, [&] { answered = true; });
    ASSERT_TRUE(quorvia::test::waitUntil([&] { return answered; }));
}

constexpr ActivityOptions keepDisplayAwake{.userInitiated = true, .idleDisplaySleepDisabled = true};

class LinuxProcessServiceInhibit : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(bus.isRunning());
        server = QDBusConnection::connectToBus(bus.address(), QStringLiteral("screensaver"));
        client = QDBusConnection::connectToBus(bus.address(), QStringLiteral("application"));
        ASSERT_TRUE(server.isConnected() && client.isConnected());
    }
    void TearDown() override
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("screensaver"));
        QDBusConnection::disconnectFromBus(QStringLiteral("application"));
    }
    void offerService()
    {
        ASSERT_TRUE(server.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &screenSaver,
                                          QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(server.registerService(QStringLiteral("org.freedesktop.ScreenSaver")));
    }

    test::TestPlatform env;
    test::DBusSessionBus bus;
    QDBusConnection server{QString()};
    QDBusConnection client{QString()};
    StandInScreenSaver screenSaver;
};

} // namespace

TEST_F(LinuxProcessServiceInhibit, OneInhibitSpansOverlappingActivitiesAndEndsWithTheLast)
{
    offerService();
    LinuxProcessService service(QStringLiteral("/nonexistent"), client);
    const auto plain = service.beginActivity({.userInitiated = true}, QStringLiteral("其他"));
    roundTrip(client);
    EXPECT_EQ(screenSaver.inhibitCalls, 0);

    const auto first = service.beginActivity(keepDisplayAwake, QStringLiteral("保持观众输出可见"));
    const auto second = service.beginActivity(keepDisplayAwake, QStringLiteral("保持镜像安全遮罩可见"));
    ASSERT_TRUE(test::waitUntil([&] { return screenSaver.inhibitCalls == 1; }));
    roundTrip(client);
    EXPECT_EQ(screenSaver.lastReason, "保持观众输出可见");
    EXPECT_FALSE(service.keepsAwakeByIdleReset());

    service.endActivity(first);
    service.endActivity(plain);
    roundTrip(client);
    EXPECT_EQ(screenSaver.unInhibitCalls, 0);
    service.endActivity(second);
    ASSERT_TRUE(test::waitUntil([&] { return screenSaver.unInhibitCalls == 1; }));
    EXPECT_TRUE(screenSaver.held.empty());
    EXPECT_EQ(screenSaver.inhibitCalls, 1);
}

TEST_F(LinuxProcessServiceInhibit, NothingStaysInhibitedAfterTheServiceGoes)
{
    offerService();
    {
        LinuxProcessService service(QStringLiteral("/nonexistent"), client);
        service.beginActivity(keepDisplayAwake, QStringLiteral("保持观众输出可见"));
        ASSERT_TRUE(test::waitUntil([&] { return screenSaver.held.size() == 1; }));
    }
    ASSERT_TRUE(test::waitUntil([&] { return screenSaver.held.empty(); }));

    // Gone, or done, before the reply came: the late cookie is handed back.
    {
        LinuxProcessService service(QStringLiteral("/nonexistent"), client);
        service.beginActivity(keepDisplayAwake, QStringLiteral("保持观众输出可见"));
    }
    LinuxProcessService service(QStringLiteral("/nonexistent"), client);
    service.endActivity(service.beginActivity(keepDisplayAwake, QStringLiteral("保持观众输出可见")));
    ASSERT_TRUE(test::waitUntil([&] { return screenSaver.inhibitCalls == 3 && screenSaver.unInhibitCalls == 3; }));
    EXPECT_TRUE(screenSaver.held.empty());

    // The application quits while the output still runs.
    service.beginActivity(keepDisplayAwake, QStringLiteral("保持观众输出可见"));
    ASSERT_TRUE(test::waitUntil([&] { return screenSaver.held.size() == 1; }));
    QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit");
    ASSERT_TRUE(test::waitUntil([&] { return screenSaver.held.empty(); }));
}

TEST_F(LinuxProcessServiceInhibit, WithoutAServiceTheIdleTimerIsResetInstead)
{
    LinuxProcessService service(QStringLiteral("/nonexistent"), client);
    const auto token = service.beginActivity(keepDisplayAwake, QStringLiteral("保持观众输出可见"));
    ASSERT_TRUE(test::waitUntil([&] { return service.keepsAwakeByIdleReset(); }));
    service.endActivity(token);
    EXPECT_FALSE(service.keepsAwakeByIdleReset());

    // A service that starts later is used by the next activity.
    offerService();
    const auto next = service.beginActivity(keepDisplayAwake, QStringLiteral("保持观众输出可见"));
    ASSERT_TRUE(test::waitUntil([&] { return screenSaver.held.size() == 1; }));
    EXPECT_FALSE(service.keepsAwakeByIdleReset());
    service.endActivity(next);
    ASSERT_TRUE(test::waitUntil([&] { return screenSaver.held.empty(); }));
}

TEST_F(LinuxProcessServiceInhibit, TheSessionBusIsReachedOnlyOnceAnActivityNeedsIt)
{
    offerService();
    const QByteArray previous = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address().toUtf8());
    const QString sessionBusName = QStringLiteral("qt_default_session_bus");
    {
        LinuxProcessService service(QStringLiteral("/nonexistent"));
        service.endActivity(service.beginActivity({.userInitiated = true}, QStringLiteral("其他")));
        EXPECT_FALSE(QDBusConnection(sessionBusName).isConnected()) << "connected at start";

        const auto token = service.beginActivity(keepDisplayAwake, QStringLiteral("保持镜像安全遮罩可见"));
        ASSERT_TRUE(test::waitUntil([&] { return screenSaver.held.size() == 1; }));
        EXPECT_EQ(screenSaver.lastReason, "保持镜像安全遮罩可见");
        service.endActivity(token);
        ASSERT_TRUE(test::waitUntil([&] { return screenSaver.held.empty(); }));
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", previous);
}

#include "LinuxProcessServiceInhibitTest.moc"
