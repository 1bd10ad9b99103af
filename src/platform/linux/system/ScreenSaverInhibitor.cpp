#include "platform/linux/system/ScreenSaverInhibitor.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <optional>

namespace quorvia::platform::native {

namespace {
const QString serviceName = QStringLiteral("org.freedesktop.ScreenSaver");
const QString objectPath = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString interfaceName = QStringLiteral("org.freedesktop.ScreenSaver");
constexpr int replyTimeoutMs = 5000;
} // namespace

struct ScreenSaverInhibitor::State {
    std::function<QDBusConnection()> connect;
    QDBusConnection bus{QString()};
    bool connected = false;
    QString applicationName;
    bool wanted = false;
    bool pending = false;
    bool unavailable = false;
    std::optional<uint> cookie;
    ScreenSaverInhibitor* owner = nullptr; // cleared when the owner goes

    void unInhibit(uint value)
    {
        auto message = QDBusMessage::createMethodCall(serviceName, objectPath, interfaceName,
                                                      QStringLiteral("UnInhibit"));
        message << value;
        bus.send(message);
    }

    QDBusConnection& connection()
    {
        if (!connected) {
            bus = connect();
            connected = true;
        }
        return bus;
    }

    void markUnavailable()
    {
        if (!wanted)
            return;
        unavailable = true;
        if (owner && owner->onUnavailable)
            owner->onUnavailable();
    }
};

ScreenSaverInhibitor::ScreenSaverInhibitor(std::function<QDBusConnection()> bus, QString applicationName)
    : state_(std::make_shared<State>())
{
    state_->connect = std::move(bus);
    state_->applicationName = std::move(applicationName);
    state_->owner = this;
}

ScreenSaverInhibitor::~ScreenSaverInhibitor()
{
    state_->owner = nullptr;
    release();
}

void ScreenSaverInhibitor::hold(const QString& reason)
{
    State& s = *state_;
    s.wanted = true;
    if (s.cookie || s.pending || s.unavailable)
        return;
    if (!s.connection().isConnected()) {
        s.markUnavailable();
        return;
    }
    auto message = QDBusMessage::createMethodCall(serviceName, objectPath, interfaceName, QStringLiteral("Inhibit"));
    message << s.applicationName << reason;
    s.pending = true;
    auto* watcher = new QDBusPendingCallWatcher(s.bus.asyncCall(message, replyTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [state = state_](QDBusPendingCallWatcher* call) {
                         call->deleteLater();
                         state->pending = false;
                         QDBusPendingReply<uint> reply = *call;
                         if (reply.isError()) {
                             state->markUnavailable();
                             return;
                         }
                         if (state->wanted)
                             state->cookie = reply.value();
                         else
                             state->unInhibit(reply.value());
                     });
}

void ScreenSaverInhibitor::release()
{
    State& s = *state_;
    s.wanted = false;
    // The next hold asks again: a desktop may have started its service since.
    s.unavailable = false;
    if (s.cookie) {
        s.unInhibit(*s.cookie);
        s.cookie.reset();
    }
}

bool ScreenSaverInhibitor::isUnavailable() const { return state_->wanted && state_->unavailable; }

} // namespace quorvia::platform::native
