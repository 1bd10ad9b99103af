#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace quorvia::platform::native {

// Who made a monitor and which one it is, as its EDID base block says.
struct EdidIdentity {
    std::uint16_t manufacturerID = 0; // three packed letters, as the block stores them
    std::uint16_t productCode = 0;
    std::uint32_t serialNumber = 0;   // 0 when the maker left it out
    QString serialText;               // the serial descriptor, empty when absent
    QString monitorName;              // the name descriptor, empty when absent

    QString manufacturerLetters() const;
    // The serial number, or a digest of the serial descriptor where the number is 0.
    std::uint32_t stableSerial() const;

    friend bool operator==(const EdidIdentity&, const EdidIdentity&) = default;
};

// None for a block that is short, lacks the fixed header or fails its
// checksum: a damaged block must not lend a display someone else's identity.
std::optional<EdidIdentity> parseEdid(const QByteArray& edid);

} // namespace quorvia::platform::native
