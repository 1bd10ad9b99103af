#include "platform/linux/sound/PulseAudioService.h"

#include "platform/linux/sound/PulseAudioStreams.h"
#include "platform/linux/sound/PulseConnection.h"

#include <pulse/context.h>
#include <pulse/introspect.h>

namespace quorvia::platform::native {

namespace {
struct Listing {
    std::vector<AudioDeviceInfo> devices;
    int pending = 0;
    bool failed = false;
};
} // namespace

AudioDeviceID PulseAudioService::Names::idFor(const QString& uid)
{
    std::lock_guard lock(mutex);
    auto it = ids.find(uid);
    if (it != ids.end())
        return *it;
    const AudioDeviceID id = next++;
    ids.insert(uid, id);
    return id;
}

QString PulseAudioService::Names::uidFor(AudioDeviceID id) const
{
    std::lock_guard lock(mutex);
    return ids.key(id);
}

PulseAudioService::PulseAudioService(QString serverAddress)
    : connection_(std::make_shared<PulseConnection>(std::move(serverAddress))), names_(std::make_shared<Names>())
{
}

PulseAudioService::~PulseAudioService() = default;

std::vector<AudioDeviceInfo> PulseAudioService::devices()
{
    PulseConnection::Lock lock(*connection_);
    if (!connection_->ensureConnected()) {
        if (!connection_->isStalled())
            lastDevices_.clear();
        return lastDevices_;
    }
    Listing listing;
    struct Context {
        Listing* listing;
        PulseConnection* connection;
    } ctx{&listing, connection_.get()};
    auto onSink = [](pa_context*, const pa_sink_info* info, int eol, void* data) {
        auto* c = static_cast<Context*>(data);
        if (eol < 0)
            c->listing->failed = true;
        if (eol != 0 || !info) {
            c->connection->signal();
            return;
        }
        if (info->name && info->description)
            c->listing->devices.push_back({0, QString::fromUtf8(info->name), QString::fromUtf8(info->description), 0,
                                           int(info->sample_spec.channels)});
    };
    auto onSource = [](pa_context*, const pa_source_info* info, int eol, void* data) {
        auto* c = static_cast<Context*>(data);
        if (eol < 0)
            c->listing->failed = true;
        if (eol != 0 || !info) {
            c->connection->signal();
            return;
        }
        if (info->monitor_of_sink != PA_INVALID_INDEX || !info->name || !info->description)
            return;
        const QString uid = QString::fromUtf8(info->name);
        for (auto& device : c->listing->devices) {
            if (device.uid == uid) {
                device.inputChannels = int(info->sample_spec.channels);
                return;
            }
        }
        c->listing->devices.push_back(
            {0, uid, QString::fromUtf8(info->description), int(info->sample_spec.channels), 0});
    };
    const bool answered = connection_->await(pa_context_get_sink_info_list(connection_->context(), onSink, &ctx))
        && connection_->await(pa_context_get_source_info_list(connection_->context(), onSource, &ctx));
    if (!answered && connection_->isStalled())
        return lastDevices_;
    if (!answered || listing.failed) {
        lastDevices_.clear();
        return {};
    }
    for (auto& device : listing.devices)
        device.id = names_->idFor(device.uid);
    lastDevices_ = listing.devices;
    return listing.devices;
}

PulseAudioService::ServerDefaults PulseAudioService::readDefaults()
{
    PulseConnection::Lock lock(*connection_);
    if (!connection_->ensureConnected()) {
        if (!connection_->isStalled())
            lastDefaults_ = {};
        return lastDefaults_;
    }
    struct Context {
        ServerDefaults defaults;
        bool answered = false;
        PulseConnection* connection;
    } ctx{{}, false, connection_.get()};
    connection_->await(pa_context_get_server_info(
        connection_->context(),
        [](pa_context*, const pa_server_info* info, void* data) {
            auto* c = static_cast<Context*>(data);
            if (info) {
                c->defaults.sink = QString::fromUtf8(info->default_sink_name ? info->default_sink_name : "");
                c->defaults.source = QString::fromUtf8(info->default_source_name ? info->default_source_name : "");
                c->answered = true;
            }
            c->connection->signal();
        },
        &ctx));
    if (ctx.answered)
        lastDefaults_ = ctx.defaults;
    else if (!connection_->isStalled())
        lastDefaults_ = {};
    return lastDefaults_;
}

std::optional<AudioDeviceID> PulseAudioService::defaultInputDevice()
{
    const auto defaults = readDefaults();
    if (defaults.source.isEmpty())
        return std::nullopt;
    return names_->idFor(defaults.source);
}

std::optional<AudioDeviceID> PulseAudioService::defaultOutputDevice()
{
    const auto defaults = readDefaults();
    if (defaults.sink.isEmpty())
        return std::nullopt;
    return names_->idFor(defaults.sink);
}

bool PulseAudioService::setDefaultOutputDevice(AudioDeviceID device)
{
    const QString uid = names_->uidFor(device);
    if (uid.isEmpty())
        return false;
    PulseConnection::Lock lock(*connection_);
    if (!connection_->ensureConnected())
        return false;
    struct Context {
        bool ok = false;
        bool done = false;
        PulseConnection* connection;
    } ctx{false, false, connection_.get()};
    const QByteArray name = uid.toUtf8();
    connection_->await(pa_context_set_default_sink(
        connection_->context(), name.constData(),
        [](pa_context*, int success, void* data) {
            auto* c = static_cast<Context*>(data);
            c->ok = success != 0;
            c->done = true;
            c->connection->signal();
        },
        &ctx));
    return ctx.done && ctx.ok;
}

bool PulseAudioService::setDefaultSystemOutputDevice(AudioDeviceID device) { return !names_->uidFor(device).isEmpty(); }

std::unique_ptr<AudioPlayer> PulseAudioService::makePlayer()
{
    return std::make_unique<PulseAudioPlayer>(connection_, names_);
}

std::unique_ptr<AudioInput> PulseAudioService::makeInput()
{
    return std::make_unique<PulseAudioInput>(connection_, names_);
}

} // namespace quorvia::platform::native
