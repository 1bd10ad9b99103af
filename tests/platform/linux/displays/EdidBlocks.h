#pragma once

#include <QByteArray>

#include <cstdint>

namespace quorvia::test {

// An EDID 1.4 base block written by hand: one detailed timing, then the serial
// and name descriptors where given, with a correct checksum.
struct EdidBlock {
    const char* manufacturer = "DEL";
    std::uint16_t productCode = 0;
    std::uint32_t serialNumber = 0;
    QByteArray serialText;
    QByteArray name;

    QByteArray bytes() const;
};

// Sets the last byte so the block's bytes sum to zero again.
void fixChecksum(QByteArray& block);

} // namespace quorvia::test
