#include "EdidBlocks.h"
#include "platform/linux/displays/EdidIdentity.h"
#include "support/QtPrinting.h"

#include <gtest/gtest.h>

using namespace quorvia::platform::native;
using quorvia::test::EdidBlock;
using quorvia::test::fixChecksum;

TEST(EdidIdentity, ReadsMakerProductSerialAndDescriptors)
{
    const auto identity =
        parseEdid(EdidBlock{"DEL", 0xA0C4, 0x12345678, "7XK2P13", "DELL U2720Q"}.bytes());
    ASSERT_TRUE(identity);
    EXPECT_EQ(identity->manufacturerLetters(), "DEL");
    EXPECT_EQ(identity->manufacturerID, 0x10AC);
    EXPECT_EQ(identity->productCode, 0xA0C4);
    EXPECT_EQ(identity->serialNumber, 0x12345678u);
    EXPECT_EQ(identity->stableSerial(), 0x12345678u);
    EXPECT_EQ(identity->serialText, "7XK2P13");
    EXPECT_EQ(identity->monitorName, "DELL U2720Q");

    // A full 13-letter name has no line feed; a missing descriptor reads empty.
    const auto plain = parseEdid(EdidBlock{"EPS", 0x0A27, 0, {}, "EPSON PJ 1080"}.bytes());
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->manufacturerLetters(), "EPS");
    EXPECT_EQ(plain->monitorName, "EPSON PJ 1080");
    EXPECT_TRUE(plain->serialText.isEmpty());
    EXPECT_EQ(plain->stableSerial(), 0u);
}

TEST(EdidIdentity, SerialTextStandsInForAMissingNumber)
{
    const auto first = parseEdid(EdidBlock{"GSM", 0x5B09, 0, "104NTABC1234", "LG HDR 4K"}.bytes());
    const auto second = parseEdid(EdidBlock{"GSM", 0x5B09, 0, "104NTABC1235", "LG HDR 4K"}.bytes());
    const auto again = parseEdid(EdidBlock{"GSM", 0x5B09, 0, "104NTABC1234", "LG HDR 4K"}.bytes());
    ASSERT_TRUE(first && second && again);
    EXPECT_NE(first->stableSerial(), 0u);
    EXPECT_NE(first->stableSerial(), second->stableSerial());
    EXPECT_EQ(first->stableSerial(), again->stableSerial());
}

TEST(EdidIdentity, DamagedBlocksGiveNoIdentity)
{
    const QByteArray good = EdidBlock{"DEL", 0xA0C4, 42, "SN1", "DELL"}.bytes();

    QByteArray badChecksum = good;
    badChecksum[127] = char(badChecksum[127] + 1);
    EXPECT_FALSE(parseEdid(badChecksum));

    EXPECT_FALSE(parseEdid(good.left(100)));
    EXPECT_FALSE(parseEdid({}));

    QByteArray badHeader = good;
    badHeader[7] = char(0xFF);
    fixChecksum(badHeader);
    EXPECT_FALSE(parseEdid(badHeader));

    // A flipped serial byte with the old checksum must not name another monitor.
    QByteArray flipped = good;
    flipped[12] = char(43);
    EXPECT_FALSE(parseEdid(flipped));

    // Extension blocks after a sound base block are fine.
    QByteArray extended = good + QByteArray(128, '\x02');
    const auto identity = parseEdid(extended);
    ASSERT_TRUE(identity);
    EXPECT_EQ(identity->serialNumber, 42u);
}
