#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <optional>

namespace quorvia::test {

// A private D-Bus session bus for one test: a dbus-daemon listening in its own
// temporary folder, started by the constructor and stopped by the destructor.
//
//   DBusSessionBus bus;
//   ASSERT_TRUE(bus.isRunning());
//   auto connection = QDBusConnection::connectToBus(bus.address(), "test");
//
// Code that only finds its bus through DBUS_SESSION_BUS_ADDRESS (child
// processes, libraries that read the environment on first use) gets it after
// exportAddress(); the previous value comes back when the bus stops.
// Qt's and GLib's process-wide session connections are opened once and kept,
// so tests should connect to address() explicitly where they can.
class DBusSessionBus {
public:
    DBusSessionBus();
    ~DBusSessionBus();
    DBusSessionBus(const DBusSessionBus&) = delete;
    DBusSessionBus& operator=(const DBusSessionBus&) = delete;

    // False when dbus-daemon could not be started; address() is empty then.
    bool isRunning() const;
    // The bus address, as in "unix:path=/tmp/.../dbus-XXXX,guid=...".
    QString address() const { return address_; }
    // The private folder the daemon listens in; tests may keep their own files there.
    QString folder() const { return folder_.path(); }

    void exportAddress();
    // Stops the daemon now; the destructor does nothing more afterwards.
    void stop();

private:
    QTemporaryDir folder_;
    QProcess daemon_;
    QString address_;
    std::optional<QByteArray> previousAddress_;
    bool exported_ = false;
};

} // namespace quorvia::test
