#include "prompter/ScriptScrollView.h"

#include "PrompterSamples.h"
#include "support/QtPrinting.h"
#include "support/Snapshot.h"
#include "support/TestPlatform.h"

#include <QCoreApplication>
#include <QFont>
#include <QImage>
#include <QTextBlock>
#include <QTextCursor>
#include <QWheelEvent>

#include <gtest/gtest.h>

using namespace quorvia;

namespace {

class ScriptScrollViewTest : public ::testing::Test {
protected:
    ScriptScrollViewTest() { view.resize(600, 400); }

    QTextCharFormat formatAt(int position) const
    {
        QTextCursor cursor(const_cast<QTextDocument*>(&view.textDocument()));
        cursor.setPosition(position + 1);
        return cursor.charFormat();
    }
    QFont fontAt(int position) const { return formatAt(position).font(); }
    QColor colourAt(int position) const { return formatAt(position).foreground().color(); }

    test::TestPlatform env;
    ScriptScrollView view;
};

} // namespace

TEST_F(ScriptScrollViewTest, ReadingPositionSurvivesARoundTripAtEveryFontSize)
{
    view.setSections({test::mixedScriptBlock(2000)}, 0);
    for (int step : {0, 3}) {
        for (int i = 0; i < step; ++i)
            view.increaseFontSize();
        for (int raw : {300, 900, 1500}) {
            view.restoreReading(raw);
            const double offset = view.model().currentOffset();
            ASSERT_GT(offset, 0) << raw;
            const int index = view.readingCharacterIndex();
            view.resetToTop();
            view.restoreReading(index);
            EXPECT_NEAR(view.model().currentOffset(), offset, 2.0) << "raw " << raw << " font " << view.fontSize();
        }
    }

    // The same text stays at the reading line when the font changes.
    view.restoreReading(1200);
    const int before = view.readingCharacterIndex();
    view.decreaseFontSize();
    const int after = view.readingCharacterIndex();
    EXPECT_NEAR(after, before, 40);
}

TEST_F(ScriptScrollViewTest, StylesFollowTheMarkdownSpans)
{
    view.setSections({"# 标题\n正文**粗体**和*斜体*与`代码`\n###### 小"}, 0);
    const QString text = view.textDocument().toPlainText();
    ASSERT_EQ(text, u"标题\n正文粗体和斜体与代码\n小"_qs);
    const double size = view.fontSize();
    EXPECT_EQ(fontAt(0).pixelSize(), std::lround(size * 1.42));
    EXPECT_EQ(fontAt(0).weight(), QFont::Bold);
    EXPECT_EQ(fontAt(3).weight(), QFont::Medium);
    EXPECT_EQ(fontAt(5).weight(), QFont::Bold);
    EXPECT_TRUE(fontAt(8).italic());
    EXPECT_EQ(fontAt(11).pixelSize(), std::lround(size * 0.92));
    EXPECT_EQ(fontAt(14).pixelSize(), std::lround(size * 1.08));
}

TEST_F(ScriptScrollViewTest, ColoursFollowTheCurrentSectionAndTheSpokenPart)
{
    const QColor dim = QColor::fromRgbF(1, 1, 1, 0.36f);
    const QColor yellow(255, 214, 10);
    view.setSections({"abcdefghij", "klm"}, 0);
    EXPECT_EQ(colourAt(0), Qt::white);
    EXPECT_EQ(colourAt(12), dim);
    view.setSpokenProgress(6, 0);
    EXPECT_EQ(colourAt(5), yellow);
    EXPECT_EQ(colourAt(6), Qt::white);
    // Only repainted differences: going back whitens what is no longer spoken.
    view.setSpokenProgress(3, 0);
    EXPECT_EQ(colourAt(2), yellow);
    EXPECT_EQ(colourAt(3), Qt::white);
    EXPECT_EQ(colourAt(5), Qt::white);
    view.scrollToSection(1);
    EXPECT_EQ(colourAt(0), dim);
    EXPECT_EQ(colourAt(12), Qt::white);
    view.setSpokenProgress(2, 1);
    EXPECT_EQ(colourAt(13), yellow);
    EXPECT_EQ(colourAt(14), Qt::white);
}

TEST_F(ScriptScrollViewTest, WheelScrollsOnlyTheShownOffsetUntilAdopted)
{
    view.setSections({test::mixedScriptBlock(2000)}, 0);
    QWheelEvent wheel(QPointF(10, 10), QPointF(10, 10), QPoint(0, -30), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&view, &wheel);
    EXPECT_EQ(view.model().scrolledOffset(), 30);
    EXPECT_EQ(view.model().currentOffset(), 0);
    view.advance(0, 260);
    EXPECT_EQ(view.model().currentOffset(), 30);
}

TEST_F(ScriptScrollViewTest, PictureShowsTheCurrentSectionSpokenPartAndReadingLine)
{
    view.setSections({"## 开场白\n大家好，今天我们来讨论**产品的发布计划**。\n- 第一点：*市场分析*\n> 引用一句话\n请看`代码`示例。", "下一段"}, 0);
    view.setSpokenProgress(12, 0);
    QImage image(view.size(), QImage::Format_ARGB32);
    image.fill(QColor(20, 20, 22));
    view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    test::keepSnapshot(QPixmap::fromImage(image), QStringLiteral("script-view"));

    // The reading line is pink at 0.32 of the height, inset 14 at both sides.
    const int y = static_cast<int>(400 * 0.32);
    const QColor line = image.pixelColor(300, y);
    EXPECT_GT(line.red(), line.green() + 40);
    EXPECT_EQ(image.pixelColor(10, y), QColor(20, 20, 22));
    // Somewhere in the first lines the spoken text is yellow.
    bool yellow = false;
    for (int x = 18; x < 600 && !yellow; ++x)
        for (int row = 24; row < 110 && !yellow; ++row) {
            const QColor c = image.pixelColor(x, row);
            yellow = c.red() > 200 && c.green() > 150 && c.blue() < 80;
        }
    EXPECT_TRUE(yellow);
}
