#include "platform/linux/displays/EdidIdentity.h"

#include "platform/core/Fnv1a.h"

#include <array>

namespace quorvia::platform::native {

namespace {

constexpr int baseBlockSize = 128;
constexpr std::array<std::uint8_t, 8> header{0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
constexpr int firstDescriptor = 54;
constexpr int descriptorSize = 18;
constexpr int descriptorCount = 4;
constexpr std::uint8_t serialTag = 0xFF;
constexpr std::uint8_t nameTag = 0xFC;

std::uint8_t byteAt(const QByteArray& data, int index) { return std::uint8_t(data[index]); }

// Descriptor text is up to 13 bytes, ended by a line feed and padded with
// spaces. The standard names code page 437; monitors write its ASCII part,
// where it and Latin-1 agree. A byte above it is read as Latin-1, as it always
// was, since the name and the serial's digest are part of the stored key of
// the chosen audience display.
QString descriptorText(const QByteArray& data, int offset)
{
    QByteArray text = data.mid(offset + 5, 13);
    const int end = text.indexOf('\n');
    if (end >= 0)
        text.truncate(end);
    return QString::fromLatin1(text).trimmed();
}

} // namespace

QString EdidIdentity::manufacturerLetters() const
{
    QString letters;
    for (int shift : {10, 5, 0}) {
        const int code = (manufacturerID >> shift) & 0x1F;
        letters += (code >= 1 && code <= 26) ? QChar(u'A' + code - 1) : QChar(u'?');
    }
    return letters;
}

std::uint32_t EdidIdentity::stableSerial() const
{
    if (serialNumber != 0 || serialText.isEmpty())
        return serialNumber;
    return fnv1a32(serialText.toUtf8());
}

std::optional<EdidIdentity> parseEdid(const QByteArray& edid)
{
    if (edid.size() < baseBlockSize)
        return std::nullopt;
    for (std::size_t i = 0; i < header.size(); ++i) {
        if (byteAt(edid, int(i)) != header[i])
            return std::nullopt;
    }
    std::uint8_t sum = 0;
    for (int i = 0; i < baseBlockSize; ++i)
        sum = std::uint8_t(sum + byteAt(edid, i));
    if (sum != 0)
        return std::nullopt;

    EdidIdentity identity;
    identity.manufacturerID = std::uint16_t(byteAt(edid, 8) << 8 | byteAt(edid, 9));
    identity.productCode = std::uint16_t(byteAt(edid, 10) | byteAt(edid, 11) << 8);
    identity.serialNumber = std::uint32_t(byteAt(edid, 12)) | std::uint32_t(byteAt(edid, 13)) << 8
        | std::uint32_t(byteAt(edid, 14)) << 16 | std::uint32_t(byteAt(edid, 15)) << 24;
    for (int n = 0; n < descriptorCount; ++n) {
        const int offset = firstDescriptor + n * descriptorSize;
        // Display descriptors start with a zero pixel clock; timings do not.
        if (byteAt(edid, offset) != 0 || byteAt(edid, offset + 1) != 0)
            continue;
        const std::uint8_t tag = byteAt(edid, offset + 3);
        if (tag == serialTag && identity.serialText.isEmpty())
            identity.serialText = descriptorText(edid, offset);
        else if (tag == nameTag && identity.monitorName.isEmpty())
            identity.monitorName = descriptorText(edid, offset);
    }
    return identity;
}

} // namespace quorvia::platform::native
