#include "prompter/TimelineStripView.h"

#include "model/PromptScript.h"
#include "prompter/TimelineBlockIndex.h"
#include "prompter/TimelineCardView.h"
#include "prompter/TimelineStripCanvas.h"
#include "prompter/TimelineStripExpectations.h"
#include "support/Snapshot.h"
#include "support/TestPlatform.h"

#include <QAccessible>
#include <QApplication>
#include <QDrag>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>

#include <gtest/gtest.h>

using namespace quorvia;

namespace {

std::vector<PromptTimelineBlock> blocks(std::initializer_list<const char*> labels)
{
    std::vector<PromptTimelineBlock> out;
    for (const char* label : labels)
        out.emplace_back(QUuid::createUuid(), QString::fromUtf8(label), QStringLiteral("文字"));
    return out;
}

std::vector<PromptTimelineBlock> numbered(int count)
{
    std::vector<PromptTimelineBlock> out;
    for (int i = 1; i <= count; ++i)
        out.emplace_back(QUuid::createUuid(), QString::number(i), QString());
    return out;
}

std::unique_ptr<QMimeData> dragged(const QByteArray& value)
{
    auto data = std::make_unique<QMimeData>();
    data->setData(timeline_block_index::mimeType(), value);
    return data;
}

void sendMouse(QWidget* widget, QEvent::Type type, QPoint at, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(at), widget->mapToGlobal(QPointF(at)), Qt::LeftButton, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

// The platform delivers a drop only to the widget that took the drag's entry.
bool sendDrop(QWidget* canvas, const QMimeData* data, QPointF at)
{
    QDragEnterEvent enter(at.toPoint(), Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(canvas, &enter);
    QDropEvent event(at, Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    event.setAccepted(false);
    QCoreApplication::sendEvent(canvas, &event);
    return event.isAccepted();
}

class TimelineStripViewTest : public ::testing::Test {
protected:
    test::TestPlatform platform;
    std::vector<std::pair<int, int>> moves;
    std::vector<int> selections;

    std::unique_ptr<TimelineStripView> makeStrip(TimelineStripDensity density, int width)
    {
        auto strip = std::make_unique<TimelineStripView>(density);
        strip->resize(width, int(timelineTotalHeight(density)));
        strip->onMove = [this](int from, int to) { moves.emplace_back(from, to); };
        strip->onSelect = [this](int index) { selections.push_back(index); };
        strip->show();
        return strip;
    }
};

} // namespace

TEST_F(TimelineStripViewTest, CardsFollowTheBlocksWithTheirLookAndLabels)
{
    auto strip = makeStrip(TimelineStripDensity::regular, 500);
    strip->reload(blocks({"1", "2", "Demo", "3"}), 2);
    const auto& cards = strip->canvas()->cards();
    ASSERT_EQ(cards.size(), 4u);
    EXPECT_EQ(cards[2]->geometry(), QRect(136, 38, 58, 30));
    EXPECT_EQ(cards[3]->geometry(), QRect(204, 1, 58, 30));
    EXPECT_EQ(cards[2]->titleLabel()->text(), QStringLiteral("Demo"));
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(cards[2]);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->role(), QAccessible::Button);
    EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("时间线块 Demo"));
    // The pointing hand shows over a card, not over the gaps.
    sendMouse(strip->canvas(), QEvent::MouseMove, cards[2]->geometry().center(), Qt::NoButton);
    EXPECT_EQ(strip->canvas()->cursor().shape(), Qt::PointingHandCursor);
    sendMouse(strip->canvas(), QEvent::MouseMove, {140, 10}, Qt::NoButton);
    EXPECT_EQ(strip->canvas()->cursor().shape(), Qt::ArrowCursor);
    EXPECT_TRUE(cards[2]->isSelected());
    EXPECT_FALSE(cards[1]->isSelected());
    EXPECT_EQ(strip->canvas()->width(), strip->scrollView()->viewport()->width());
    EXPECT_EQ(strip->canvas()->height(), 82);
    EXPECT_EQ(strip->slideLabel()->geometry(), QRect(0, 3, 30, 30));
    EXPECT_EQ(strip->demoLabel()->geometry(), QRect(0, 41, 30, 30));
    EXPECT_EQ(strip->scrollView()->geometry().left(), 37);

    // A selection outside the blocks highlights nothing; an empty list leaves
    // the canvas as wide as the visible area.
    strip->reload(blocks({"1", "2"}), 5);
    ASSERT_EQ(strip->canvas()->cards().size(), 2u);
    EXPECT_FALSE(strip->canvas()->cards()[0]->isSelected());
    EXPECT_FALSE(strip->canvas()->cards()[1]->isSelected());
    strip->reload({}, 0);
    EXPECT_TRUE(strip->canvas()->cards().empty());
    EXPECT_EQ(strip->canvas()->width(), strip->scrollView()->viewport()->width());
    platform.scheduler().runPending();
}

TEST_F(TimelineStripViewTest, AReloadShowsTheNewBlocksOnTheCardsItAlreadyHas)
{
    auto strip = makeStrip(TimelineStripDensity::regular, 500);
    auto script = blocks({"1", "2", "3"});
    strip->reload(script, 0);
    const std::vector<TimelineCardView*> before = strip->canvas()->cards();

    // Spoken progress and reading position leave the blocks alone: same widgets.
    strip->reload(script, 0);
    EXPECT_EQ(strip->canvas()->cards(), before);

    // A new selection, label and kind: the same cards, each showing its block.
    script[1].label = QStringLiteral("Demo");
    strip->reload(script, 2);
    const auto& cards = strip->canvas()->cards();
    ASSERT_EQ(cards, before);
    EXPECT_FALSE(cards[0]->isSelected());
    EXPECT_TRUE(cards[2]->isSelected());
    EXPECT_EQ(cards[1]->titleLabel()->text(), QStringLiteral("Demo"));
    EXPECT_EQ(cards[1]->geometry(), QRect(68, 38, 58, 30));
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(cards[1]);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("时间线块 Demo"));

    // More blocks add cards after the kept ones; fewer remove the surplus.
    strip->reload(blocks({"1", "2", "3", "4", "5"}), 4);
    ASSERT_EQ(strip->canvas()->cards().size(), 5u);
    EXPECT_EQ(strip->canvas()->cards()[0], before[0]);
    EXPECT_EQ(strip->canvas()->cards()[4]->index(), 4);
    EXPECT_TRUE(strip->canvas()->cards()[4]->isSelected());
    EXPECT_EQ(strip->canvas()->cards()[1]->geometry(), QRect(68, 1, 58, 30));
    strip->reload(blocks({"7"}), 0);
    ASSERT_EQ(strip->canvas()->cards().size(), 1u);
    EXPECT_EQ(strip->canvas()->cards()[0]->titleLabel()->text(), QStringLiteral("7"));
    EXPECT_EQ(strip->canvas()->children().size(), 1);
    platform.scheduler().runPending();
}

TEST_F(TimelineStripViewTest, CompactCardTitlesShrinkToFitThenShortenAtTheFloor)
{
    auto strip = makeStrip(TimelineStripDensity::compact, 500);
    strip->reload(blocks({"3", "Demo", "问答", "12", "browser-checkout-flow"}), 0);
    const auto& cards = strip->canvas()->cards();
    ASSERT_EQ(cards.size(), 5u);
    for (const auto* card : cards) {
        const QLabel* title = card->titleLabel();
        EXPECT_EQ(card->size(), QSize(44, 24));
        EXPECT_EQ(title->width(), 38);
        EXPECT_LE(QFontMetrics(title->font()).horizontalAdvance(title->text()), title->width()) << title->text().toStdString();
        EXPECT_GE(title->font().pixelSize(), 9);
    }
    // A short label keeps the card's own size; longer ones shrink but stay whole.
    EXPECT_EQ(cards[0]->titleLabel()->font().pixelSize(), 14);
    EXPECT_EQ(cards[1]->titleLabel()->text(), QStringLiteral("Demo"));
    EXPECT_LT(cards[1]->titleLabel()->font().pixelSize(), 14);
    EXPECT_EQ(cards[2]->titleLabel()->text(), QStringLiteral("问答"));
    // Past the floor the label is cut short; assistive technology still hears all of it.
    EXPECT_EQ(cards[4]->titleLabel()->font().pixelSize(), 9);
    EXPECT_TRUE(cards[4]->titleLabel()->text().endsWith(QChar(0x2026)));
    EXPECT_TRUE(cards[4]->titleLabel()->text().startsWith(QStringLiteral("br")));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(cards[4])->text(QAccessible::Name),
              QStringLiteral("时间线块 browser-checkout-flow"));
    test::keepSnapshot(strip->grab(), QStringLiteral("timeline-compact-titles"));

    // A card given a longer label in place fits it the same way, and a short one grows back.
    strip->reload(blocks({"3", "browser-checkout-flow", "问答", "12", "7"}), 0);
    ASSERT_EQ(strip->canvas()->cards().size(), 5u);
    EXPECT_TRUE(cards[1]->titleLabel()->text().endsWith(QChar(0x2026)));
    EXPECT_EQ(cards[4]->titleLabel()->text(), QStringLiteral("7"));
    EXPECT_EQ(cards[4]->titleLabel()->font().pixelSize(), 14);
}

TEST_F(TimelineStripViewTest, BothDensitiesRender)
{
    const auto script = blocks({"1", "2", "Demo", "3", "4", "问答", "5"});
    for (auto density : {TimelineStripDensity::regular, TimelineStripDensity::compact}) {
        QWidget host;
        host.setAutoFillBackground(true);
        QPalette dark = host.palette();
        dark.setColor(QPalette::Window, QColor(28, 28, 30));
        host.setPalette(dark);
        host.resize(420, int(timelineTotalHeight(density)));
        TimelineStripView strip(density, &host);
        strip.setGeometry(host.rect());
        host.show();
        strip.reload(script, 1);
        platform.scheduler().runPending();
        // The scroller shows once its queued layout ran, in the room under the rows.
        QCoreApplication::sendPostedEvents();
        QScrollBar* bar = strip.scrollView()->horizontalScrollBar();
        const bool overflows = density == TimelineStripDensity::regular;
        EXPECT_EQ(bar->isVisible(), overflows);
        if (overflows)
            EXPECT_GE(bar->mapTo(&strip, QPoint(0, 0)).y(), strip.canvas()->cards()[2]->geometry().bottom());
        test::keepSnapshot(host.grab(), density == TimelineStripDensity::regular ? QStringLiteral("timeline-regular")
                                                                                 : QStringLiteral("timeline-compact"));
    }
}

TEST_F(TimelineStripViewTest, ReloadRevealsTheSelectedCardOnlyWhenTheSelectionOrOrderChanged)
{
    auto strip = makeStrip(TimelineStripDensity::regular, 237); // a 200-wide visible area
    QScrollBar* bar = strip->scrollView()->horizontalScrollBar();
    const auto script = numbered(12);

    strip->reload(script, 8);
    EXPECT_EQ(bar->value(), 0); // deferred to after the current pass
    platform.scheduler().runPending();
    // Card 8 spans 544..602; with the gap on both sides its right edge is 612.
    const int visible = strip->scrollView()->viewport()->width();
    EXPECT_EQ(bar->value(), 612 - visible);

    // Same ids and selection, a new label: shown, not scrolled.
    bar->setValue(0);
    auto relabelled = script;
    relabelled[8].label = QStringLiteral("九");
    strip->reload(relabelled, 8);
    platform.scheduler().runPending();
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(strip->canvas()->cards()[8]->titleLabel()->text(), QStringLiteral("九"));

    // Two reloads in one pass reveal in order: to card 11, then back left to card 3 (204 - 10).
    strip->reload(script, 11);
    strip->reload(script, 3);
    platform.scheduler().runPending();
    EXPECT_EQ(bar->value(), 194);
}

TEST_F(TimelineStripViewTest, TheSelectedCardStaysInViewThroughStepsRelayoutsAndRepeatedReloads)
{
    auto strip = makeStrip(TimelineStripDensity::regular, 437); // a 400-wide visible area
    const auto script = numbered(30);
    auto select = [&](const std::vector<PromptTimelineBlock>& blocks, int index) {
        strip->reload(blocks, index);
        platform.scheduler().runPending();
        return test::showsCard(*strip, index);
    };

    for (int i = 0; i <= 20; ++i)
        EXPECT_TRUE(select(script, i));
    // Back one: the card is left of the last one revealed but still in view.
    EXPECT_TRUE(select(script, 19));
    // The same blocks again, as spoken progress sends them: nothing to reveal, nothing moves.
    EXPECT_TRUE(select(script, 19));
    // A click on a card far away, on either side.
    EXPECT_TRUE(select(script, 2));
    EXPECT_TRUE(select(script, 28));

    // The strip laid out again: wider (the scroller pulled back), hidden and shown.
    strip->resize(600, strip->height());
    EXPECT_TRUE(test::showsCard(*strip, 28));
    strip->hide();
    strip->show();
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(test::showsCard(*strip, 28));

    // A shorter script pulls the scroller back with the canvas.
    EXPECT_TRUE(select(numbered(6), 5));
    EXPECT_TRUE(select(script, 29));
}

TEST_F(TimelineStripViewTest, DropsMoveToTheColumnUnderThePointer)
{
    auto strip = makeStrip(TimelineStripDensity::regular, 600);
    strip->reload(blocks({"1", "2", "Demo", "3"}), 0);
    QWidget* canvas = strip->canvas();

    EXPECT_TRUE(sendDrop(canvas, dragged("0").get(), {67.9, 10}));
    EXPECT_TRUE(moves.empty()); // its own column
    EXPECT_TRUE(sendDrop(canvas, dragged("0").get(), {68, 50}));
    EXPECT_TRUE(sendDrop(canvas, dragged("0").get(), {550, 10})); // right of the last card
    EXPECT_TRUE(sendDrop(canvas, dragged("3").get(), {-5, 10}));
    EXPECT_EQ(moves, (std::vector<std::pair<int, int>>{{0, 1}, {0, 3}, {3, 0}}));

    moves.clear();
    for (const char* bad : {"x1", "99999999999999999999", "-1", ""}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(sendDrop(canvas, dragged(bad).get(), {140, 10}));
        EXPECT_FALSE(strip->canvas()->performDrop(dragged(bad).get(), {140, 10}));
    }
    QMimeData plainText;
    plainText.setText(QStringLiteral("1"));
    EXPECT_FALSE(sendDrop(canvas, &plainText, {140, 10}));
    EXPECT_TRUE(moves.empty());

    // The pointer entering with an unreadable index is offered no operation.
    auto bad = dragged("x1");
    QDragEnterEvent enterBad(QPoint(10, 10), Qt::MoveAction, bad.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(canvas, &enterBad);
    EXPECT_FALSE(enterBad.isAccepted());
    auto good = dragged("2");
    QDragEnterEvent enterGood(QPoint(10, 10), Qt::MoveAction, good.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(canvas, &enterGood);
    EXPECT_TRUE(enterGood.isAccepted());
    EXPECT_EQ(enterGood.dropAction(), Qt::MoveAction);

    strip->reload({}, 0);
    EXPECT_FALSE(sendDrop(canvas, dragged("0").get(), {10, 10}));
    platform.scheduler().runPending();
}

TEST_F(TimelineStripViewTest, APressSelectsOnReleaseAndAMovedPressDragsInstead)
{
    auto strip = makeStrip(TimelineStripDensity::compact, 400);
    const auto script = blocks({"1", "Demo", "2"});
    strip->reload(script, 0);
    TimelineStripCanvas* canvas = strip->canvas();
    std::vector<QByteArray> carried;
    canvas->runDrag = [&](QDrag& drag) { carried.push_back(drag.mimeData()->data(timeline_block_index::mimeType())); };
    auto centre = [&](int i) { return canvas->cards()[std::size_t(i)]->geometry().center(); };

    sendMouse(canvas, QEvent::MouseButtonPress, centre(1), Qt::LeftButton);
    sendMouse(canvas, QEvent::MouseButtonRelease, centre(1), Qt::NoButton);
    EXPECT_EQ(selections, std::vector<int>{1});

    sendMouse(canvas, QEvent::MouseButtonPress, centre(2), Qt::LeftButton);
    sendMouse(canvas, QEvent::MouseMove, centre(2) + QPoint(1, 0), Qt::LeftButton);
    sendMouse(canvas, QEvent::MouseMove, centre(2) + QPoint(20, 0), Qt::LeftButton);
    sendMouse(canvas, QEvent::MouseButtonRelease, centre(2) + QPoint(20, 0), Qt::NoButton);
    EXPECT_EQ(carried, std::vector<QByteArray>{"2"});
    EXPECT_EQ(selections, std::vector<int>{1});

    // Spoken progress rebuilds the cards between the press and the release,
    // or between the press and the first movement: the press still counts.
    sendMouse(canvas, QEvent::MouseButtonPress, centre(0), Qt::LeftButton);
    strip->reload(script, 0);
    sendMouse(canvas, QEvent::MouseButtonRelease, centre(0), Qt::NoButton);
    EXPECT_EQ(selections, (std::vector<int>{1, 0}));
    sendMouse(canvas, QEvent::MouseButtonPress, centre(1), Qt::LeftButton);
    strip->reload(script, 0);
    sendMouse(canvas, QEvent::MouseMove, centre(1) + QPoint(3, 0), Qt::LeftButton);
    EXPECT_EQ(carried, (std::vector<QByteArray>{"2", "1"}));

    // A press between the cards selects and drags nothing.
    sendMouse(canvas, QEvent::MouseButtonPress, {canvas->width() - 2, 2}, Qt::LeftButton);
    sendMouse(canvas, QEvent::MouseMove, {canvas->width() - 20, 2}, Qt::LeftButton);
    sendMouse(canvas, QEvent::MouseButtonRelease, {canvas->width() - 20, 2}, Qt::NoButton);
    EXPECT_EQ(carried.size(), 2u);
    EXPECT_EQ(selections.size(), 2u);
    platform.scheduler().runPending();
}

TEST_F(TimelineStripViewTest, ARebuildDuringADragLetsTheDropLand)
{
    // Both strips show one script and are wired the way their owners wire them.
    PromptScript script(platform.defaults());
    script.replaceText(QStringLiteral("1\n一\n---\n2\n二\n---\nDemo\n演示\n---\n3\n三"));
    auto panel = makeStrip(TimelineStripDensity::regular, 500);
    auto prompter = makeStrip(TimelineStripDensity::compact, 400);
    for (TimelineStripView* strip : {panel.get(), prompter.get()}) {
        strip->onMove = [&script](int from, int to) { script.moveBlock(from, to); };
        strip->reload(script.timelineBlocks(), int(script.currentIndex()));
    }
    auto reloadBoth = [&] {
        for (TimelineStripView* strip : {panel.get(), prompter.get()})
            strip->reload(script.timelineBlocks(), int(script.currentIndex()));
    };

    TimelineStripCanvas* source = prompter->canvas();
    bool dropped = false;
    source->runDrag = [&](QDrag& drag) {
        EXPECT_TRUE(source->isDragging());
        // Spoken progress rebuilds every card while the pointer is still down.
        script.setSpeechProgress(1, 0, false);
        reloadBoth();
        reloadBoth();
        // Dropped on the panel's strip, right of its last card.
        dropped = sendDrop(panel->canvas(), drag.mimeData(), {480, 40});
    };
    const QPoint first = source->cards()[0]->geometry().center();
    sendMouse(source, QEvent::MouseButtonPress, first, Qt::LeftButton);
    sendMouse(source, QEvent::MouseMove, first + QPoint(5, 0), Qt::LeftButton);

    EXPECT_TRUE(dropped);
    EXPECT_FALSE(source->isDragging());
    QStringList labels;
    for (const auto& block : script.timelineBlocks())
        labels.append(block.label);
    EXPECT_EQ(labels, (QStringList{"2", "Demo", "3", "1"}));
    reloadBoth();
    ASSERT_EQ(prompter->canvas()->cards().size(), 4u);
    EXPECT_EQ(prompter->canvas()->cards()[3]->titleLabel()->text(), QStringLiteral("1"));
    platform.scheduler().runPending();
}
