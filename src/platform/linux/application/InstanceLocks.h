#pragma once

#include "platform/files/FileDescriptor.h"
#include "platform/files/WriteGate.h"

#include <QString>

#include <mutex>
#include <vector>

namespace quorvia::platform::native {

// One lock in each folder the application writes, guarding all beneath it,
// each held from when it is taken until the process ends. A folder nothing
// can write needs no lock to start: no second launch can take one there
// either. Nothing is written beneath it without its lock, though, whatever
// the modes of the folders further down: once the folder can be written its
// lock is taken before the next write, so a launch that began without locks
// never writes beside one that holds them. Thread-safe.
class InstanceLocks final : public WriteGate {
public:
    struct Lock {
        QString path;
        // Said when the lock can be neither taken nor found held; %1 is why.
        QString refusal;
    };

    explicit InstanceLocks(std::vector<Lock> locks);
    ~InstanceLocks() override;
    InstanceLocks(const InstanceLocks&) = delete;
    InstanceLocks& operator=(const InstanceLocks&) = delete;

    enum class Taking { held, busy, failed };
    // Takes every lock not held yet whose folder can be written, all or none:
    // a launch that must give way holds nothing another needs. `held` also
    // when a folder still needs none. On failure, `refusal` says why.
    Taking take(QString* refusal = nullptr);

    // Lets go of every lock: for a launch that gives way after all.
    void release();

    // Before a write into `folder`: no error when this launch holds every
    // lock guarding it, else why not (busy while another launch holds one).
    std::error_code beforeWrite(const QString& folder) override;

private:
    Taking take(int& error, QString* refusal);

    std::mutex mutex_;
    const std::vector<Lock> locks_;
    // One for each lock, open where it is held.
    std::vector<FileDescriptor> held_;
    // For each lock not held, why its folder could not be written when last tried.
    std::vector<int> denied_;
};

} // namespace quorvia::platform::native
