#include "platform/linux/network/LibsecretKeychain.h"

#include "support/DBusSessionBus.h"
#include "support/EventWait.h"
#include "support/QtPrinting.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quorvia;
using platform::KeychainStatus;

// A real Secret Service: gnome-keyring under a private session bus, with its
// keyring files in a private folder.
TEST(LibsecretKeychain, KeepsOneSecretInARealSecretService)
{
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("gnome-keyring-daemon"));
    if (daemon.isEmpty())
        GTEST_SKIP() << "gnome-keyring-daemon is not installed (Debian package gnome-keyring); no Secret Service to test against";

    test::DBusSessionBus bus;
    ASSERT_TRUE(bus.isRunning());
    bus.exportAddress();
    QTemporaryDir home;
    ASSERT_TRUE(QDir(home.path()).mkpath(QStringLiteral("data")) && QDir(home.path()).mkpath(QStringLiteral("run")));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("run")));
    QProcess keyring;
    keyring.setProcessEnvironment(environment);
    keyring.start(daemon, {QStringLiteral("--foreground"), QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
    ASSERT_TRUE(keyring.waitForStarted(60000));
    // The new login keyring's password, read until the end of input.
    keyring.write("test-password");
    keyring.waitForBytesWritten(60000);
    keyring.closeWriteChannel();

    QDBusConnection probe = QDBusConnection::connectToBus(bus.address(), QStringLiteral("keyring-probe"));
    ASSERT_TRUE(test::waitUntil(
        [&] { return probe.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.secrets")).value(); },
        60000, 20))
        << keyring.readAllStandardError().toStdString() << keyring.readAllStandardOutput().toStdString();

    platform::native::LibsecretKeychain keychain;
    const QString service = QStringLiteral("com.local.quorvia.cloud-mapping");
    const QString account = QStringLiteral("bearer-token");
    EXPECT_EQ(keychain.readGenericPassword(service, account), std::nullopt);
    EXPECT_EQ(keychain.updateGenericPassword(service, account, "first"), KeychainStatus::itemNotFound);
    EXPECT_EQ(keychain.addGenericPassword(service, account, "first"), KeychainStatus::success);
    EXPECT_EQ(keychain.readGenericPassword(service, account), QByteArray("first"));
    EXPECT_EQ(keychain.updateGenericPassword(service, account, "令牌 second"), KeychainStatus::success);
    EXPECT_EQ(keychain.readGenericPassword(service, account), QByteArray("令牌 second"));
    EXPECT_EQ(keychain.readGenericPassword(service, QStringLiteral("other")), std::nullopt);
    EXPECT_EQ(keychain.deleteGenericPassword(service, account), KeychainStatus::success);
    EXPECT_EQ(keychain.readGenericPassword(service, account), std::nullopt);
    EXPECT_EQ(keychain.deleteGenericPassword(service, account), KeychainStatus::itemNotFound);

    QDBusConnection::disconnectFromBus(QStringLiteral("keyring-probe"));
    keyring.terminate();
    keyring.waitForFinished(3000);
}
