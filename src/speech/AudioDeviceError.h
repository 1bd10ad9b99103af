#pragma once

#include <QString>

namespace quorvia {

enum class AudioDeviceError { inputUnavailable };

QString description(AudioDeviceError error);

} // namespace quorvia
