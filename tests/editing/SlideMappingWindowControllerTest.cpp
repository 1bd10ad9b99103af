#include "editing/SlideMappingWindowController.h"

#include "EditingFixture.h"
#include "editing/SlideMappingRows.h"
#include "support/QtPrinting.h"
#include "support/Snapshot.h"

#include <QComboBox>
#include <QFontMetricsF>
#include <QLabel>
#include <QPushButton>

using namespace quorvia;
namespace rows = quorvia::slide_mapping;

namespace {

PresentationDeck deckOf(int slides)
{
    PresentationDeck deck;
    deck.filePath = QStringLiteral("/tmp/演讲.key");
    deck.fileName = QStringLiteral("演讲.key");
    for (int i = 1; i <= slides; ++i)
        deck.slides.push_back(PresentationSlide{i, QStringLiteral("第%1页的标题\n正文").arg(i)});
    return deck;
}

class SlideMappingTest : public test::EditingFixture {
protected:
    SlideMappingTest()
    {
        script.replaceText(QStringLiteral("1\n开场白\n---\n2\n产品介绍\n---\nDemo\n现场演示\n---\n7\n超出页数"));
        script.replaceDeck(deckOf(3));
    }

    QStringList reviewTexts() const
    {
        QStringList out;
        for (QLabel* label : controller.rowsView()->findChildren<QLabel*>(QStringLiteral("review")))
            if (!label->isHidden())
                out.append(label->text());
        return out;
    }

    SlideMappingWindowController controller{script};
};

} // namespace

TEST(SlideMappingRows, TextsFollowTheirRules)
{
    EXPECT_EQ(rows::percentage(0.125), 13);
    EXPECT_EQ(rows::percentage(0.72), 72);
    EXPECT_EQ(rows::percentage(0.005), 1);
    const QString longText = QString(60, QChar(u'字')) + QStringLiteral("\n") + QString(139, QChar(u'文'));
    EXPECT_EQ(rows::preview(longText), QString(60, QChar(u'字')) + QStringLiteral(" ") + QString(79, QChar(u'文')));
    EXPECT_EQ(rows::preview(QStringLiteral("\n  两行\n文字  \n")), QStringLiteral("两行 文字"));
    // Grapheme clusters, not code units: a flag counts once.
    EXPECT_EQ(rows::preview(QString(150, QChar(u'a')).prepend(QStringLiteral("🇨🇳"))).size(), 4 + 139);

    using Origin = SlideMappingReview::Origin;
    EXPECT_EQ(rows::reviewLine(SlideMappingReview{2, 0.125, true, Origin::cloudAI}),
              (rows::ReviewLine{QStringLiteral("AI 建议第 2 页 · 13% · 待人工确认"), true}));
    EXPECT_EQ(rows::reviewLine(SlideMappingReview{3, 0.9, false, Origin::cloudAI}),
              (rows::ReviewLine{QStringLiteral("AI 已匹配第 3 页 · 90%"), false}));
    EXPECT_EQ(rows::reviewLine(SlideMappingReview::manual), std::nullopt);
    EXPECT_EQ(rows::reviewLine(SlideMappingReview{std::nullopt, 0.9, false, Origin::cloudAI}), std::nullopt);

    EXPECT_EQ(rows::popupIndex(2, 4), 2);
    EXPECT_EQ(rows::popupIndex(4, 4), 0);
    EXPECT_EQ(rows::popupIndex(std::nullopt, 4), 0);
    EXPECT_EQ(rows::chosenSlide(0), std::nullopt);
    EXPECT_EQ(rows::cloudControls(true, true), (rows::CloudControls{QStringLiteral("云端匹配中…"), false, false}));
    EXPECT_EQ(rows::cloudControls(false, false), (rows::CloudControls{QStringLiteral("运行云端 AI 匹配"), false, true}));
}

TEST_F(SlideMappingTest, RowsShowEverySectionWithItsSlideAndReview)
{
    script.applyCloudMappingSuggestions({{1, 2, 0.125}, {2, 3, 0.9}});
    controller.present();
    ASSERT_TRUE(controller.window()->isVisible());
    EXPECT_EQ(controller.window()->title(), QStringLiteral("PPT 页码映射 · 默认演讲"));
    EXPECT_EQ(controller.heading()->text(), script.deckStatusText());
    ASSERT_EQ(controller.popups().size(), 4u);
    QComboBox* first = controller.popups()[0];
    EXPECT_EQ(first->count(), 4);
    EXPECT_EQ(first->itemText(0), QStringLiteral("未映射"));
    EXPECT_EQ(first->itemText(1), QStringLiteral("第 1 页 · ") + deckOf(3).slides[0].shortTitle());
    EXPECT_EQ(first->currentIndex(), 1);
    EXPECT_EQ(controller.popups()[1]->currentIndex(), 2);
    EXPECT_EQ(controller.popups()[2]->currentIndex(), 0); // a demo
    EXPECT_EQ(controller.popups()[3]->currentIndex(), 0); // slide 7 of a 3-slide deck
    EXPECT_EQ(controller.popups()[3]->accessibleName(), QStringLiteral("第 4 段对应 PPT 页"));
    EXPECT_EQ(reviewTexts(), (QStringList{"AI 建议第 2 页 · 13% · 待人工确认", "AI 已匹配第 3 页 · 90%"}));
    // Section numbers of one width, so "第 1 段" and "第 8 段" line up.
    const auto sectionLabels = controller.window()->findChildren<QLabel*>(QStringLiteral("sectionLabel"));
    ASSERT_EQ(sectionLabels.size(), 4);
    const QFontMetricsF metrics(sectionLabels.front()->font());
    EXPECT_DOUBLE_EQ(metrics.horizontalAdvance(QStringLiteral("1")), metrics.horizontalAdvance(QStringLiteral("8")));
    EXPECT_EQ(sectionLabels.front()->text(), QStringLiteral("第 1 段"));
    controller.window()->resize(780, 600);
    test::keepSnapshot(controller.window()->grab(), QStringLiteral("slide-mapping"));
}

TEST_F(SlideMappingTest, WithoutADeckOrSectionsOnlyTheHintShows)
{
    script.deleteTimeline();
    controller.present();
    EXPECT_TRUE(controller.popups().empty());
    const auto labels = controller.rowsView()->findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels.front()->text(), QStringLiteral("请先导入 .key 文稿，并准备至少一个稿件段落。"));
}

TEST_F(SlideMappingTest, AChoiceIsWrittenAndThePopUpShowsWhatTheModelHolds)
{
    controller.present();
    QComboBox* popup = controller.popups()[2];
    popup->setCurrentIndex(3);
    emit popup->activated(3);
    EXPECT_EQ(script.slideNumber(2), 3);
    EXPECT_EQ(controller.popups()[2], popup); // not rebuilt under the speaker's hand
    EXPECT_EQ(controller.heading()->text(), script.deckStatusText());

    // "未映射" is never applied, so the pop-up returns to the mapped slide.
    QComboBox* mapped = controller.popups()[0];
    mapped->setCurrentIndex(0);
    emit mapped->activated(0);
    EXPECT_EQ(script.slideNumber(0), 1);
    EXPECT_EQ(mapped->currentIndex(), 1);
}

TEST_F(SlideMappingTest, ModelChangesRebuildOnlyAVisibleWindow)
{
    controller.present();
    controller.window()->orderOut();
    script.replaceText(QStringLiteral("1\n只有一段"));
    EXPECT_EQ(controller.popups().size(), 4u);
    controller.present();
    EXPECT_EQ(controller.popups().size(), 1u);
    script.replaceText(QStringLiteral("1\n一\n---\n2\n二"));
    EXPECT_EQ(controller.popups().size(), 2u);
}

TEST_F(SlideMappingTest, CloudButtonsFollowTheWorkingStateAndTheEditingSwitch)
{
    int configures = 0, runs = 0;
    controller.onConfigureCloudAI = [&] { ++configures; };
    controller.onRunCloudAI = [&] { ++runs; };
    controller.configureAIButton()->click();
    controller.runAIButton()->click(); // editing slide mappings is switched off
    EXPECT_EQ(configures, 1);
    EXPECT_EQ(runs, 0);

    controller.setCloudAIWorking(true);
    EXPECT_EQ(controller.runAIButton()->text(), QStringLiteral("云端匹配中…"));
    EXPECT_FALSE(controller.configureAIButton()->isEnabled());
    controller.setCloudAIWorking(false);
    EXPECT_EQ(controller.runAIButton()->text(), QStringLiteral("运行云端 AI 匹配"));
    EXPECT_FALSE(controller.runAIButton()->isEnabled());
    EXPECT_TRUE(controller.configureAIButton()->isEnabled());

    controller.setCloudAIStatus(QStringLiteral("无法连接云端匹配服务。"), true);
    EXPECT_EQ(controller.aiStatusLabel()->text(), QStringLiteral("无法连接云端匹配服务。"));
    EXPECT_EQ(controller.aiStatusLabel()->palette().color(QPalette::WindowText), QColor(255, 69, 58));
}

TEST_F(SlideMappingTest, WithoutABuiltInScreenPresentingLeavesItHidden)
{
    displays->setScreens({test::FakeDisplayService::external(2)});
    controller.present();
    EXPECT_FALSE(controller.window()->isVisible());
}
