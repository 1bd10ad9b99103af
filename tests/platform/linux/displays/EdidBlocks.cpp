#include "EdidBlocks.h"
#include "support/QtPrinting.h"

namespace quorvia::test {

namespace {
void descriptor(QByteArray& block, int offset, std::uint8_t tag, const QByteArray& text)
{
    block[offset + 3] = char(tag);
    QByteArray field = text.left(13);
    if (field.size() < 13)
        field += '\n';
    field = field.leftJustified(13, ' ');
    block.replace(offset + 5, 13, field);
}
} // namespace

QByteArray EdidBlock::bytes() const
{
    QByteArray block(128, '\0');
    const QByteArray header("\x00\xFF\xFF\xFF\xFF\xFF\xFF\x00", 8);
    block.replace(0, 8, header);
    const int packed = (manufacturer[0] - 'A' + 1) << 10 | (manufacturer[1] - 'A' + 1) << 5 | (manufacturer[2] - 'A' + 1);
    block[8] = char(packed >> 8);
    block[9] = char(packed & 0xFF);
    block[10] = char(productCode & 0xFF);
    block[11] = char(productCode >> 8);
    for (int i = 0; i < 4; ++i)
        block[12 + i] = char((serialNumber >> (8 * i)) & 0xFF);
    block[16] = 12;  // week
    block[17] = 30;  // 2020
    block[18] = 1;
    block[19] = 4;
    // A detailed timing first; its byte 3 happens to look like a serial tag.
    block[54] = 0x02;
    block[55] = 0x3A;
    block[57] = char(0xFF);
    if (!serialText.isNull())
        descriptor(block, 72, 0xFF, serialText);
    if (!name.isNull())
        descriptor(block, 90, 0xFC, name);
    block[108 + 3] = 0x10; // a dummy descriptor
    fixChecksum(block);
    return block;
}

void fixChecksum(QByteArray& block)
{
    std::uint8_t sum = 0;
    for (int i = 0; i < 127; ++i)
        sum = std::uint8_t(sum + std::uint8_t(block[i]));
    block[127] = char(std::uint8_t(256 - sum));
}

} // namespace quorvia::test
