#pragma once

#include "platform/sound/AudioService.h"

#include <QHash>

#include <mutex>

#include <memory>

namespace quorvia::platform::native {

class PulseConnection;

// The sound server's sinks are outputs and its sources, monitors left out,
// are inputs; a sink's or source's name is the persistent UID and its
// description the name. Where no server runs, the lists are empty and
// defaults cannot be changed. A server that stalls is given a short bound:
// reads then answer what it said last, and changes and streams fail.
class PulseAudioService final : public AudioService {
public:
    explicit PulseAudioService(QString serverAddress = {});
    ~PulseAudioService() override;

    std::vector<AudioDeviceInfo> devices() override;
    std::optional<AudioDeviceID> defaultInputDevice() override;
    std::optional<AudioDeviceID> defaultOutputDevice() override;
    bool setDefaultOutputDevice(AudioDeviceID device) override;
    // The server plays alerts on the default sink, so there is nothing more to set.
    bool setDefaultSystemOutputDevice(AudioDeviceID device) override;
    std::unique_ptr<AudioPlayer> makePlayer() override;
    std::unique_ptr<AudioInput> makeInput() override;

    // Ids for UIDs, handed out once and kept for the service's life.
    struct Names {
        AudioDeviceID idFor(const QString& uid);
        QString uidFor(AudioDeviceID id) const;
        mutable std::mutex mutex;
        QHash<QString, AudioDeviceID> ids;
        AudioDeviceID next = 1;
    };

private:
    struct ServerDefaults {
        QString sink;
        QString source;
    };
    ServerDefaults readDefaults();

    std::shared_ptr<PulseConnection> connection_;
    std::shared_ptr<Names> names_;
    // What the server said last, for the time it does not answer.
    std::vector<AudioDeviceInfo> lastDevices_;
    ServerDefaults lastDefaults_;
};

} // namespace quorvia::platform::native
