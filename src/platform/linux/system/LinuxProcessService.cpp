#include "platform/linux/system/LinuxProcessService.h"

#include "platform/core/MainQueue.h"
#include "platform/linux/system/ScreenSaverInhibitor.h"
#include "platform/linux/desktop/XcbConnection.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <X11/Xlib.h>

#include <algorithm>

namespace quorvia::platform::native {

namespace {
std::optional<int> readNumber(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    bool ok = false;
    const int value = QString::fromLatin1(file.readAll()).trimmed().toInt(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

QString readText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(file.readAll()).trimmed();
}
} // namespace

LinuxProcessService::LinuxProcessService(QString thermalRoot)
    : LinuxProcessService(std::move(thermalRoot), [] { return QDBusConnection::sessionBus(); })
{
}

LinuxProcessService::LinuxProcessService(QString thermalRoot, QDBusConnection bus)
    : LinuxProcessService(std::move(thermalRoot), [bus] { return bus; })
{
}

LinuxProcessService::LinuxProcessService(QString thermalRoot, std::function<QDBusConnection()> bus)
    : thermalRoot_(std::move(thermalRoot))
    , inhibitor_(std::make_unique<ScreenSaverInhibitor>(std::move(bus), QCoreApplication::applicationName()))
{
    inhibitor_->onUnavailable = [this] { startIdleReset(); };
    // The platform outlives the event loop; the bus may be gone by the time it is destroyed.
    if (auto* application = QCoreApplication::instance()) {
        quitWatch_ = std::make_unique<QObject>();
        QObject::connect(application, &QCoreApplication::aboutToQuit, quitWatch_.get(), [this] {
            inhibitor_->release();
            keepAwakeTimer_.reset();
        });
    }
}

LinuxProcessService::~LinuxProcessService() = default;

qint64 LinuxProcessService::processIdentifier() const { return QCoreApplication::applicationPid(); }

ThermalState LinuxProcessService::classify(int temperature, const std::map<QString, int>& tripPoints)
{
    auto at = [&](const char* type) {
        auto it = tripPoints.find(QString::fromLatin1(type));
        return it != tripPoints.end() && it->second > 0 && temperature >= it->second;
    };
    if (at("critical"))
        return ThermalState::critical;
    if (at("hot"))
        return ThermalState::serious;
    if (at("passive"))
        return ThermalState::fair;
    return ThermalState::nominal;
}

ThermalState LinuxProcessService::thermalState() const
{
    // The hottest verdict of any zone; a machine without zones reads nominal,
    // as it reports no pressure at all.
    ThermalState worst = ThermalState::nominal;
    const QDir root(thermalRoot_);
    for (const QString& zone : root.entryList({QStringLiteral("thermal_zone*")}, QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString dir = root.filePath(zone);
        const auto temperature = readNumber(dir + QStringLiteral("/temp"));
        if (!temperature)
            continue;
        std::map<QString, int> trips;
        for (int i = 0; i < 32; ++i) {
            const QString type = readText(dir + QStringLiteral("/trip_point_%1_type").arg(i));
            if (type.isEmpty())
                break;
            const auto value = readNumber(dir + QStringLiteral("/trip_point_%1_temp").arg(i));
            if (!value)
                continue;
            // The lowest trip of a type is where that pressure begins.
            auto [it, inserted] = trips.emplace(type, *value);
            if (!inserted)
                it->second = std::min(it->second, *value);
        }
        worst = std::max(worst, classify(*temperature, trips));
    }
    return worst;
}

ActivityToken LinuxProcessService::beginActivity(ActivityOptions options, const QString& reason)
{
    const ActivityToken token{nextToken_++};
    activities_.emplace(token.value, options);
    if (options.idleDisplaySleepDisabled)
        inhibitor_->hold(reason);
    return token;
}

void LinuxProcessService::endActivity(ActivityToken token)
{
    activities_.erase(token.value);
    const bool anyAwake = std::any_of(activities_.begin(), activities_.end(),
                                      [](const auto& entry) { return entry.second.idleDisplaySleepDisabled; });
    if (!anyAwake) {
        inhibitor_->release();
        keepAwakeTimer_.reset();
    }
}

void LinuxProcessService::startIdleReset()
{
    if (keepAwakeTimer_)
        return;
    keepAwake();
    keepAwakeTimer_ = Timer::scheduled(30.0, true, [this] { keepAwake(); });
}

void LinuxProcessService::keepAwake()
{
    if (!qtOnX11())
        return;
    // The screen saver and display power timers restart from now.
    if (Display* display = XOpenDisplay(nullptr)) {
        XResetScreenSaver(display);
        XFlush(display);
        XCloseDisplay(display);
    }
}

} // namespace quorvia::platform::native
