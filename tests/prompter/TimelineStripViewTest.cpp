#include "prompter/TimelineStripView.h"

#include "model/PromptScript.h"
#include "prompter/TimelineBlockIndex.h"
#include "prompter/TimelineCardTitle.h"
#include "prompter/TimelineCardView.h"
#include "prompter/TimelineStripCanvas.h"
#include "prompter/TimelineStripExpectations.h"
#include "look/TextStyle.h"
#include "support/QtPrinting.h"
#include "support/Snapshot.h"
#include "support/TestPlatform.h"

#include <QAccessible>
#include <QApplication>
#include <QDrag>
#include <QFontDatabase>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <vector>

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

// The accessible button of one card, as assistive technology reaches it.
QAccessibleInterface* cardAccessible(const TimelineStripCanvas& canvas, int index)
{
    QAccessibleInterface* strip = QAccessible::queryAccessibleInterface(const_cast<TimelineStripCanvas*>(&canvas));
    return strip ? strip->child(index) : nullptr;
}

struct PaintCounter : QObject {
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        count += event->type() == QEvent::Paint;
        return false;
    }
    int count = 0;
};

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
    const TimelineStripCanvas* canvas = strip->canvas();
    ASSERT_EQ(canvas->cardCount(), 4);
    EXPECT_EQ(canvas->card(2).frame, QRect(136, 38, 58, 30));
    EXPECT_EQ(canvas->card(3).frame, QRect(204, 1, 58, 30));
    EXPECT_EQ(canvas->cardTitle(2).text, QStringLiteral("Demo"));
    QAccessibleInterface* accessible = cardAccessible(*canvas, 2);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->role(), QAccessible::Button);
    EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("时间线块 Demo"));
    // The pointing hand shows over a card, not over the gaps.
    sendMouse(strip->canvas(), QEvent::MouseMove, canvas->card(2).frame.center(), Qt::NoButton);
    EXPECT_EQ(strip->canvas()->cursor().shape(), Qt::PointingHandCursor);
    sendMouse(strip->canvas(), QEvent::MouseMove, {140, 10}, Qt::NoButton);
    EXPECT_EQ(strip->canvas()->cursor().shape(), Qt::ArrowCursor);
    sendMouse(strip->canvas(), QEvent::MouseMove, {150, 20}, Qt::NoButton); // between the rows, on no card
    EXPECT_EQ(strip->canvas()->cursor().shape(), Qt::ArrowCursor);
    EXPECT_TRUE(canvas->card(2).selected);
    EXPECT_FALSE(canvas->card(1).selected);
    EXPECT_EQ(strip->canvas()->width(), strip->scrollView()->viewport()->width());
    EXPECT_EQ(strip->canvas()->height(), 82);
    EXPECT_EQ(strip->slideLabel()->geometry(), QRect(0, 3, 30, 30));
    EXPECT_EQ(strip->demoLabel()->geometry(), QRect(0, 41, 30, 30));
    EXPECT_EQ(strip->scrollView()->geometry().left(), 37);

    // A selection outside the blocks highlights nothing; an empty list leaves
    // the canvas as wide as the visible area.
    strip->reload(blocks({"1", "2"}), 5);
    ASSERT_EQ(canvas->cardCount(), 2);
    EXPECT_FALSE(canvas->card(0).selected);
    EXPECT_FALSE(canvas->card(1).selected);
    strip->reload({}, 0);
    EXPECT_EQ(canvas->cardCount(), 0);
    EXPECT_EQ(strip->canvas()->width(), strip->scrollView()->viewport()->width());
    platform.scheduler().runPending();
}

TEST_F(TimelineStripViewTest, AReloadShowsTheNewBlocksWithNoWidgetPerCard)
{
    auto strip = makeStrip(TimelineStripDensity::regular, 500);
    TimelineStripCanvas* canvas = strip->canvas();
    auto script = blocks({"1", "2", "3"});
    strip->reload(script, 0);
    EXPECT_TRUE(canvas->findChildren<QWidget*>().isEmpty());
    QAccessibleInterface* second = cardAccessible(*canvas, 1);

    // Spoken progress and reading position leave the blocks alone: nothing to repaint.
    QCoreApplication::processEvents();
    PaintCounter paints(canvas);
    strip->reload(script, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(paints.count, 0);
    script[2].text = QStringLiteral("新的文字");
    strip->reload(script, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(paints.count, 0);

    // A new selection, label and kind: each card shows its block, heard the same way.
    script[1].label = QStringLiteral("Demo");
    strip->reload(script, 2);
    EXPECT_FALSE(canvas->card(0).selected);
    EXPECT_TRUE(canvas->card(2).selected);
    EXPECT_EQ(canvas->cardTitle(1).text, QStringLiteral("Demo"));
    EXPECT_EQ(canvas->card(1).frame, QRect(68, 38, 58, 30));
    EXPECT_EQ(cardAccessible(*canvas, 1), second);
    EXPECT_EQ(second->text(QAccessible::Name), QStringLiteral("时间线块 Demo"));

    // More blocks add cards after the kept ones; fewer take the surplus away,
    // for assistive technology too.
    strip->reload(blocks({"1", "2", "3", "4", "5"}), 4);
    ASSERT_EQ(canvas->cardCount(), 5);
    EXPECT_EQ(canvas->card(4).index, 4);
    EXPECT_TRUE(canvas->card(4).selected);
    EXPECT_EQ(canvas->card(1).frame, QRect(68, 1, 58, 30));
    const QAccessible::Id last = QAccessible::uniqueId(cardAccessible(*canvas, 4));
    strip->reload(blocks({"7"}), 0);
    ASSERT_EQ(canvas->cardCount(), 1);
    EXPECT_EQ(canvas->cardTitle(0).text, QStringLiteral("7"));
    QAccessibleInterface* strip_ = QAccessible::queryAccessibleInterface(canvas);
    EXPECT_EQ(strip_->childCount(), 1);
    EXPECT_EQ(strip_->child(1), nullptr);
    EXPECT_EQ(QAccessible::accessibleInterface(last), nullptr);
    EXPECT_TRUE(canvas->findChildren<QWidget*>().isEmpty());
    platform.scheduler().runPending();
}

TEST_F(TimelineStripViewTest, CompactCardTitlesShrinkToFitThenShortenAtTheFloor)
{
    auto strip = makeStrip(TimelineStripDensity::compact, 500);
    strip->reload(blocks({"3", "Demo", "问答", "12", "browser-checkout-flow"}), 0);
    const TimelineStripCanvas* canvas = strip->canvas();
    ASSERT_EQ(canvas->cardCount(), 5);
    for (int i = 0; i < canvas->cardCount(); ++i) {
        const TimelineCardTitle& title = canvas->cardTitle(i);
        EXPECT_EQ(canvas->card(i).frame.size(), QSize(44, 24));
        EXPECT_EQ(canvas->card(i).titleRect().width(), 38);
        EXPECT_LE(QFontMetrics(title.font).horizontalAdvance(title.text), 38) << title.text.toStdString();
        EXPECT_GE(title.font.pixelSize(), 9);
    }
    // A short label keeps the card's own size; longer ones shrink but stay whole.
    EXPECT_EQ(canvas->cardTitle(0).font.pixelSize(), 14);
    EXPECT_EQ(canvas->cardTitle(1).text, QStringLiteral("Demo"));
    EXPECT_LT(canvas->cardTitle(1).font.pixelSize(), 14);
    EXPECT_EQ(canvas->cardTitle(2).text, QStringLiteral("问答"));
    // Past the floor the label is cut short; assistive technology still hears all of it.
    EXPECT_EQ(canvas->cardTitle(4).font.pixelSize(), 9);
    EXPECT_TRUE(canvas->cardTitle(4).text.endsWith(QChar(0x2026)));
    EXPECT_TRUE(canvas->cardTitle(4).text.startsWith(QStringLiteral("br")));
    EXPECT_EQ(cardAccessible(*canvas, 4)->text(QAccessible::Name), QStringLiteral("时间线块 browser-checkout-flow"));
    test::keepSnapshot(strip->grab(), QStringLiteral("timeline-compact-titles"));

    // A card given a longer label in place fits it the same way, and a short one grows back.
    strip->reload(blocks({"3", "browser-checkout-flow", "问答", "12", "7"}), 0);
    ASSERT_EQ(canvas->cardCount(), 5);
    EXPECT_TRUE(canvas->cardTitle(1).text.endsWith(QChar(0x2026)));
    EXPECT_EQ(canvas->cardTitle(4).text, QStringLiteral("7"));
    EXPECT_EQ(canvas->cardTitle(4).font.pixelSize(), 14);
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
        if (overflows) {
            EXPECT_GE(bar->mapTo(&strip, QPoint(0, 0)).y(), strip.canvas()->card(2).frame.bottom());
        }
        test::keepSnapshot(host.grab(), density == TimelineStripDensity::regular ? QStringLiteral("timeline-regular")
                                                                                 : QStringLiteral("timeline-compact"));
    }
}

TEST_F(TimelineStripViewTest, EveryCardIsAButtonForAssistiveTechnologyThatSelectsItsBlock)
{
    auto strip = makeStrip(TimelineStripDensity::regular, 237); // a 200-wide visible area
    strip->reload(blocks({"1", "Demo", "2", "3", "4", "5"}), 0);
    platform.scheduler().runPending();
    TimelineStripCanvas* canvas = strip->canvas();
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(canvas);
    ASSERT_NE(accessible, nullptr);
    ASSERT_EQ(accessible->childCount(), 6);

    QAccessibleInterface* demo = accessible->child(1);
    ASSERT_NE(demo, nullptr);
    EXPECT_EQ(demo->role(), QAccessible::Button);
    EXPECT_EQ(demo->text(QAccessible::Name), QStringLiteral("时间线块 Demo"));
    EXPECT_EQ(demo->parent(), accessible);
    EXPECT_EQ(accessible->indexOfChild(demo), 1);
    // Where it stands on screen, and found again there.
    const QRect onScreen(canvas->mapToGlobal(canvas->card(1).frame.topLeft()), QSize(58, 30));
    EXPECT_EQ(demo->rect(), onScreen);
    EXPECT_EQ(accessible->childAt(onScreen.center().x(), onScreen.center().y()), demo);
    EXPECT_EQ(accessible->childAt(onScreen.center().x(), onScreen.top() - 5), nullptr);
    // A card scrolled out of the strip's view says so.
    EXPECT_FALSE(demo->state().offscreen);
    EXPECT_TRUE(accessible->child(5)->state().offscreen);

    // Pressing it asks for its block, as a click does; the strip's own selection waits for the owner.
    ASSERT_NE(demo->actionInterface(), nullptr);
    EXPECT_EQ(demo->actionInterface()->actionNames(), QStringList{QAccessibleActionInterface::pressAction()});
    demo->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(selections, std::vector<int>{1});
    EXPECT_TRUE(canvas->card(0).selected);

    // Once a shorter script took the card away, it neither reads nor acts.
    const QAccessible::Id gone = QAccessible::uniqueId(accessible->child(4));
    strip->reload(blocks({"1", "2"}), 0);
    EXPECT_EQ(accessible->childCount(), 2);
    EXPECT_EQ(QAccessible::accessibleInterface(gone), nullptr);
    EXPECT_EQ(accessible->child(4), nullptr);
    platform.scheduler().runPending();
}

TEST_F(TimelineStripViewTest, CardsAreDrawnWhereTheyStandAlsoFarIntoALongScript)
{
    auto strip = makeStrip(TimelineStripDensity::regular, 537);
    const auto script = numbered(2000);
    strip->reload(script, 1998);
    platform.scheduler().runPending();
    ASSERT_TRUE(test::showsCard(*strip, 1998));

    QWidget* viewport = strip->scrollView()->viewport();
    const QImage shown = viewport->grab().toImage();
    const qreal scale = shown.devicePixelRatio();
    auto pixel = [&](QPoint canvasPoint) {
        const QPoint at = strip->canvas()->mapTo(viewport, canvasPoint);
        return shown.pixelColor(QPoint(qRound(at.x() * scale), qRound(at.y() * scale)));
    };
    auto whitePixels = [&](const TimelineCardView& card) {
        int count = 0;
        for (int x = card.titleRect().left(); x <= card.titleRect().right(); ++x)
            for (int y = card.frame.top() + 4; y < card.frame.bottom() - 4; ++y)
                count += pixel({x, y}).lightness() > 200;
        return count;
    };
    const TimelineCardView selected = strip->canvas()->card(1998);
    const TimelineCardView before = strip->canvas()->card(1997);
    // The highlighted card's border in the accent colour, its neighbour's plain fill and border.
    EXPECT_EQ(pixel({selected.frame.left() + 1, selected.frame.center().y()}), QColor(10, 132, 255));
    EXPECT_EQ(pixel({before.frame.center().x(), before.frame.top() + 4}), QColor(43, 43, 43));
    EXPECT_EQ(pixel({before.frame.left(), before.frame.center().y()}), QColor(87, 87, 87));
    // Both titles are drawn in white inside their cards.
    EXPECT_GT(whitePixels(selected), 10);
    EXPECT_GT(whitePixels(before), 10);
    test::keepSnapshot(QPixmap::fromImage(shown), QStringLiteral("timeline-far-into-a-long-script"));
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
    EXPECT_EQ(strip->canvas()->cardTitle(8).text, QStringLiteral("九"));

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

// Once the scroller shows under the rows, every wheel moves the cards sideways
// and none moves them up or down: they stay whole and in line with their labels.
TEST_F(TimelineStripViewTest, EveryWheelScrollsTheCardsSidewaysOnly)
{
    for (const auto density : {TimelineStripDensity::regular, TimelineStripDensity::compact}) {
        auto strip = makeStrip(density, 437);
        auto script = numbered(30);
        script[1].label = QStringLiteral("Demo");
        strip->reload(script, 0);
        platform.scheduler().runPending();
        QCoreApplication::sendPostedEvents();
        QScrollBar* bar = strip->scrollView()->horizontalScrollBar();
        ASSERT_TRUE(bar->isVisible());
        QWidget* viewport = strip->scrollView()->viewport();
        // Where the platform hands a wheel over the cards to the scroll area.
        auto turn = [&](QPoint angle) {
            const QPointF at(100, 20);
            QWheelEvent event(at, viewport->mapToGlobal(at), {}, angle, Qt::NoButton, Qt::NoModifier,
                              Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(viewport, &event);
        };
        // Card 0 on the upper row, card 1 on the lower, against their labels.
        auto offsets = [&] {
            std::vector<int> out;
            for (int i : {0, 1}) {
                const QRect shown = strip->canvas()->card(i).frame.translated(strip->canvas()->pos());
                out.push_back((i == 0 ? strip->slideLabel() : strip->demoLabel())->y() - shown.top());
                out.push_back(viewport->height() - shown.bottom());
            }
            return out;
        };
        const std::vector<int> start = offsets();
        ASSERT_GT(start[3], 0) << "the lower row is cut off";
        // The ordinary wheel down and up, then a sideways one.
        for (const QPoint angle : {QPoint(0, -120), QPoint(0, 120), QPoint(-120, 0)}) {
            const int was = bar->value();
            turn(angle);
            EXPECT_EQ(bar->value() > was, angle.x() + angle.y() < 0) << angle.x() << "," << angle.y();
            EXPECT_NE(bar->value(), was);
            EXPECT_EQ(offsets(), start);
        }
        EXPECT_EQ(strip->scrollView()->verticalScrollBar()->maximum(), 0);
    }
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
    auto centre = [&](int i) { return canvas->card(i).frame.center(); };

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
    const QPoint first = source->card(0).frame.center();
    sendMouse(source, QEvent::MouseButtonPress, first, Qt::LeftButton);
    sendMouse(source, QEvent::MouseMove, first + QPoint(5, 0), Qt::LeftButton);

    EXPECT_TRUE(dropped);
    EXPECT_FALSE(source->isDragging());
    QStringList labels;
    for (const auto& block : script.timelineBlocks())
        labels.append(block.label);
    EXPECT_EQ(labels, (QStringList{"2", "Demo", "3", "1"}));
    reloadBoth();
    ASSERT_EQ(prompter->canvas()->cardCount(), 4);
    EXPECT_EQ(prompter->canvas()->cardTitle(3).text, QStringLiteral("1"));
    platform.scheduler().runPending();
}

TEST_F(TimelineStripViewTest, CardTitleFiguresTakeOneWidthInADesktopFontWhoseOwnDoNot)
{
    QFont proportional;
    for (const QString& family : QFontDatabase::families(QFontDatabase::Latin)) {
        QFont font(family);
        font.setPixelSize(14);
        font.setWeight(QFont::DemiBold);
        if (!hasEqualDigitWidths(font))
            proportional = font;
    }
    if (hasEqualDigitWidths(proportional))
        GTEST_SKIP() << "no installed font has proportional figures";
    const QFont saved = QApplication::font();
    QApplication::setFont(proportional);
    auto strip = makeStrip(TimelineStripDensity::compact, 500);
    strip->reload(blocks({"1", "111111"}), 0);
    // At the card's own size and shrunk to fit.
    const TimelineCardTitle whole = strip->canvas()->cardTitle(0), shrunk = strip->canvas()->cardTitle(1);
    QApplication::setFont(saved);
    EXPECT_TRUE(hasEqualDigitWidths(whole.font));
    EXPECT_TRUE(hasEqualDigitWidths(shrunk.font));
    EXPECT_LT(shrunk.font.pixelSize(), 14);
    EXPECT_EQ(shrunk.font.weight(), QFont::DemiBold);
}
