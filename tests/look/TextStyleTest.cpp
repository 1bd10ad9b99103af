#include "look/TextStyle.h"
#include "support/QtPrinting.h"

#include <QFontDatabase>
#include <QFontMetricsF>

#include <gtest/gtest.h>

using namespace quorvia;

namespace {
qreal advance(const QFont& font, char c) { return QFontMetricsF(font).horizontalAdvance(QLatin1Char(c)); }
} // namespace

TEST(MonospacedDigits, EveryFontAtHandGivesDigitsOfOneWidthAndKeepsItsSizeAndWeight)
{
    // Whatever family a label starts from, its figures come out even.
    QStringList families = QFontDatabase::families();
    families.prepend(QFont().family());
    for (const QString& family : families) {
        SCOPED_TRACE(family.toStdString());
        QFont base(family);
        base.setPixelSize(11);
        base.setWeight(QFont::Medium);
        const QFont font = monospacedDigitFont(base);
        EXPECT_DOUBLE_EQ(advance(font, '1'), advance(font, '8'));
        EXPECT_TRUE(hasEqualDigitWidths(font));
        EXPECT_EQ(font.pixelSize(), 11);
        EXPECT_EQ(font.weight(), QFont::Medium);
        // A font whose digits are even already is kept as it is.
        if (hasEqualDigitWidths(base))
            EXPECT_EQ(font, base);
        else
            EXPECT_EQ(font.families().value(1), base.family()) << "its own family still draws the rest";
    }
}
