#include "support/DBusSessionBus.h"
#include "support/QtPrinting.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include <gtest/gtest.h>

#include <optional>

using quorvia::test::DBusSessionBus;

namespace {

bool isRegisteredOn(const QString& address, const QString& connectionName, const QString& service)
{
    bool registered = false;
    {
        auto connection = QDBusConnection::connectToBus(address, connectionName);
        registered = connection.isConnected() && connection.interface()->isServiceRegistered(service).value();
    }
    QDBusConnection::disconnectFromBus(connectionName);
    return registered;
}

} // namespace

TEST(DBusSessionBus, EachBusIsPrivateAndGoneWhenStopped)
{
    DBusSessionBus bus;
    DBusSessionBus other;
    ASSERT_TRUE(bus.isRunning());
    ASSERT_TRUE(other.isRunning());
    EXPECT_NE(bus.address(), other.address());
    EXPECT_TRUE(bus.address().contains(bus.folder()));

    const QString service = QStringLiteral("org.quorvia.BusTest");
    {
        auto owner = QDBusConnection::connectToBus(bus.address(), QStringLiteral("owner"));
        ASSERT_TRUE(owner.isConnected());
        ASSERT_TRUE(owner.registerService(service));
        EXPECT_TRUE(isRegisteredOn(bus.address(), QStringLiteral("probe"), service));
        EXPECT_FALSE(isRegisteredOn(other.address(), QStringLiteral("probe-other"), service));
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("owner"));

    const QString address = bus.address();
    bus.stop();
    EXPECT_FALSE(bus.isRunning());
    EXPECT_TRUE(bus.address().isEmpty());
    auto late = QDBusConnection::connectToBus(address, QStringLiteral("late"));
    EXPECT_FALSE(late.isConnected());
    QDBusConnection::disconnectFromBus(QStringLiteral("late"));
}

TEST(DBusSessionBus, ExportedAddressIsRestoredWhenTheBusStops)
{
    const auto original = qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS")
        ? std::optional(qgetenv("DBUS_SESSION_BUS_ADDRESS"))
        : std::nullopt;
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
    {
        DBusSessionBus bus;
        ASSERT_TRUE(bus.isRunning());
        bus.exportAddress();
        EXPECT_EQ(qgetenv("DBUS_SESSION_BUS_ADDRESS"), bus.address().toUtf8());
    }
    EXPECT_EQ(qgetenv("DBUS_SESSION_BUS_ADDRESS"), QByteArray("unix:path=/nonexistent"));
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    {
        DBusSessionBus bus;
        bus.exportAddress();
    }
    EXPECT_FALSE(qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"));
    if (original)
        qputenv("DBUS_SESSION_BUS_ADDRESS", *original);
}
