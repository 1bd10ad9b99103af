#pragma once

#include <QString>

#include <cstdint>

namespace quorvia {

// One audio device as last read.
struct AudioDeviceDescriptor {
    std::uint32_t id = 0;
    QString uid;
    QString name;
    bool supportsInput = false;
    bool supportsOutput = false;
    friend bool operator==(const AudioDeviceDescriptor&, const AudioDeviceDescriptor&) = default;
};

} // namespace quorvia
