#pragma once

#include <QByteArrayView>

#include <cstdint>

namespace quorvia::platform {

// A stable 32-bit digest (FNV-1a) for identities that must read the same in every run.
constexpr std::uint32_t fnv1a32(QByteArrayView bytes)
{
    std::uint32_t hash = 2166136261u;
    for (const char byte : bytes) {
        hash ^= std::uint8_t(byte);
        hash *= 16777619u;
    }
    return hash;
}

} // namespace quorvia::platform
