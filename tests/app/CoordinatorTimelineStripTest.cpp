#include "CoordinatorHarness.h"

#include "platform/desktop/Popover.h"
#include "look/IslandButton.h"
#include "prompter/TimelineStripExpectations.h"
#include "support/QtPrinting.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QTemporaryDir>

using namespace quorvia;
using namespace quorvia::test;
using Key = platform::KeyPress::Key;

namespace {

// A script far wider than the island's strip, stepped well into its middle,
// so a strip that loses its place shows other cards than the current one.
class CoordinatorTimelineStripTest : public CoordinatorHarness {
protected:
    CoordinatorTimelineStripTest() : previousDataHome(qgetenv("XDG_DATA_HOME"))
    {
        // A private data folder, so the document store never touches the user's.
        qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
        buildAndStart();
        QStringList blocks;
        for (int i = 1; i <= 40; ++i)
            blocks.append(QString::number(i) + QStringLiteral("\n第") + QString::number(i) + QStringLiteral("段"));
        app().script().replaceText(blocks.join(QStringLiteral("\n---\n")));
        settle();
        for (int i = 0; i < 24; ++i)
            press(Key::right);
    }

    ~CoordinatorTimelineStripTest() override { qputenv("XDG_DATA_HOME", previousDataHome); }

    void press(Key key)
    {
        platform::KeyPress keyPress;
        keyPress.key = key;
        EXPECT_TRUE(app().handleLocalKeyDown(keyPress));
        settle();
    }
    int current() { return int(app().script().currentIndex()); }
    TimelineStripView& panelStrip() { return *app().panel().outlets().timelineStrip; }

    void click(TimelineStripCanvas* canvas, QPoint at)
    {
        for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, QPointF(at), canvas->mapToGlobal(QPointF(at)), Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
            QCoreApplication::sendEvent(canvas, &event);
        }
        settle();
    }

    QTemporaryDir home;
    QByteArray previousDataHome;
};

TEST_F(CoordinatorTimelineStripTest, TheIslandsStripKeepsShowingTheCurrentCardWhateverMovesAroundIt)
{
    ASSERT_EQ(current(), 24);
    ASSERT_TRUE(showsCard(panelStrip(), 24));

    press(Key::left);
    EXPECT_TRUE(showsCard(panelStrip(), current())) << "Left after a run of Rights";

    // The speaker scrolls back to the start and clicks a card there, then far to the right.
    panelStrip().scrollView()->horizontalScrollBar()->setValue(0);
    TimelineStripCanvas* canvas = panelStrip().canvas();
    click(canvas, canvas->card(2).frame.center());
    ASSERT_EQ(current(), 2);
    EXPECT_TRUE(showsCard(panelStrip(), 2)) << "a click on a distant card";
    panelStrip().scrollView()->horizontalScrollBar()->setValue(panelStrip().scrollView()->horizontalScrollBar()->maximum());
    click(canvas, canvas->card(37).frame.center());
    ASSERT_EQ(current(), 37);
    EXPECT_TRUE(showsCard(panelStrip(), 37)) << "a click far to the right";
    press(Key::left);
    press(Key::left);
    EXPECT_TRUE(showsCard(panelStrip(), 35));

    app().island()->showSettings(&app().island()->settingsButton());
    settle();
    EXPECT_TRUE(showsCard(panelStrip(), 35)) << "the island settings opened";
    ASSERT_TRUE(app().island()->settingsPopover());
    app().island()->settingsPopover()->dismiss();
    settle();
    EXPECT_TRUE(showsCard(panelStrip(), 35)) << "the island settings closed";

    app().togglePrompterPlacement();
    settle();
    ASSERT_TRUE(app().prompter());
    EXPECT_TRUE(showsCard(panelStrip(), 35)) << "the prompter detached";
    EXPECT_TRUE(showsCard(app().prompter()->timelineStrip(), 35)) << "the prompter window's own strip";
    press(Key::left);
    EXPECT_TRUE(showsCard(app().prompter()->timelineStrip(), 34));
    app().togglePrompterPlacement();
    settle();
    EXPECT_TRUE(showsCard(panelStrip(), 34)) << "the prompter attached again";

    pressEmergencyKey();
    pressEmergencyKey();
    EXPECT_TRUE(showsCard(panelStrip(), 34)) << "the emergency key, twice";
}

TEST_F(CoordinatorTimelineStripTest, TheStripShowsTheCurrentCardAfterTheSafetyOverlayAndABackupImport)
{
    mirrorDisplays();
    runFor(1.0);
    ASSERT_TRUE(app().isShieldActive());
    displays->unmirror();
    runFor(1.0);
    app().stopPrivacyOutputAndReturn();
    settle();
    ASSERT_FALSE(app().isShieldActive());
    EXPECT_TRUE(showsCard(panelStrip(), current())) << "back from the safety overlay";

    QTemporaryDir files;
    const QString package = files.filePath(QStringLiteral("全部.quorviabackup"));
    dialogs->answerPanel(package);
    dialogs->answerAlert(0);
    app().exportProjectBackup();
    settle();
    dialogs->answerPanel(package);
    dialogs->answerAlert(0);
    app().importProjectBackup();
    settle();
    ASSERT_EQ(app().script().timelineBlocks().size(), 40u);
    ASSERT_GT(current(), 8);
    EXPECT_TRUE(showsCard(panelStrip(), current())) << "a backup imported";
}

} // namespace
