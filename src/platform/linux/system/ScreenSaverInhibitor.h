#pragma once

#include <QDBusConnection>
#include <QString>

#include <functional>
#include <memory>

namespace quorvia::platform::native {

// Keeps the desktop's screen saver and display sleep off through its inhibit
// service on the session bus (org.freedesktop.ScreenSaver). Calls never block:
// a reply that arrives after the inhibit is no longer wanted, or after this
// object is gone, is released at once, so nothing stays inhibited.
class ScreenSaverInhibitor {
public:
    // The bus is reached on the first hold, so a start that never needs it
    // never waits for a connection.
    ScreenSaverInhibitor(std::function<QDBusConnection()> bus, QString applicationName);
    // Releases a held inhibit.
    ~ScreenSaverInhibitor();
    ScreenSaverInhibitor(const ScreenSaverInhibitor&) = delete;
    ScreenSaverInhibitor& operator=(const ScreenSaverInhibitor&) = delete;

    // Asks for one inhibit unless one is held or asked for already.
    void hold(const QString& reason);
    void release();

    // While held: no service answered, so the caller keeps the display awake itself.
    bool isUnavailable() const;
    std::function<void()> onUnavailable;

private:
    struct State;
    std::shared_ptr<State> state_;
};

} // namespace quorvia::platform::native
