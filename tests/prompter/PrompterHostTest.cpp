#include "prompter/PrompterHost.h"

#include "prompter/AutoScrollController.h"
#include "prompter/ScriptScrollView.h"

#include "PrompterSamples.h"
#include "model/ModelFixtures.h"
#include "support/QtPrinting.h"

#include <QCoreApplication>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <gtest/gtest.h>

using namespace quorvia;

namespace {

class PrompterHostTest : public ::testing::Test {
protected:
    PrompterHostTest()
    {
        first = test::makeProject("讲稿", {{QUuid::createUuid(), "1", test::mixedScriptBlock(2000)},
                                         {QUuid::createUuid(), "2", "第二块"}});
        second = test::makeProject("另一个", {{QUuid::createUuid(), "1", test::mixedScriptBlock(1500)}});
        second.readingCharacterIndex = 900;
        test::storeProjects(env.defaults(), {first, second});
        script = std::make_unique<PromptScript>(env.defaults());
        autoScroll = std::make_unique<AutoScrollController>(std::make_unique<AutoScrollPreferences>(env.defaults()));
        host = std::make_unique<PrompterHost>(*script, *autoScroll);
        view().resize(600, 400);
        env.scheduler().runPending();
    }

    ScriptScrollView& view() { return host->scriptView(); }
    const ScriptScrollModel& model() { return view().model(); }

    test::TestPlatform env;
    StoredProject first;
    StoredProject second;
    std::unique_ptr<PromptScript> script;
    std::unique_ptr<AutoScrollController> autoScroll;
    std::unique_ptr<PrompterHost> host;
};

} // namespace

TEST_F(PrompterHostTest, SpeechProgressOnlyRepaintsWhileNewTextReloads)
{
    ASSERT_EQ(model().sections(), QStringList{script->currentText()});
    view().restoreReading(700);
    const double offset = model().currentOffset();

    script->setSpeechProgress(40, 0, false);
    EXPECT_EQ(model().spokenProgressBySection(), std::vector<int>{40});
    // Not rebuilt: the offset stays and the view now follows the spoken text.
    EXPECT_EQ(model().currentOffset(), offset);
    EXPECT_TRUE(model().isTrackingSpeech());

    // Same block, new text: rebuilt at once, restored on a later turn.
    ASSERT_TRUE(script->updateBlock(script->currentBlock()->id, "1", "新的**文本**"));
    EXPECT_EQ(model().sections(), QStringList{"新的**文本**"});
    EXPECT_EQ(env.scheduler().pendingCount(), 1u);
    env.scheduler().runPending();
    EXPECT_EQ(model().currentOffset(), 0);
}

TEST_F(PrompterHostTest, AnotherProjectRestoresItsSavedReadingPositionLater)
{
    script->selectProject(second.id);
    EXPECT_EQ(model().currentOffset(), 0);
    env.scheduler().runPending();
    EXPECT_GT(model().currentOffset(), 0);
    EXPECT_NEAR(view().readingCharacterIndex(), 900, 40);

    // The position the host captures is the view's, stored silently.
    host->captureReadingPosition();
    EXPECT_EQ(script->readingCharacterIndex(), view().readingCharacterIndex());
}

TEST_F(PrompterHostTest, EmptyProjectShowsTheUploadHint)
{
    script->deleteTimeline();
    EXPECT_EQ(model().sections(), QStringList{script->currentText()});
    EXPECT_EQ(model().spokenProgressBySection(), std::vector<int>{0});
}

TEST_F(PrompterHostTest, InstallMovesTheViewAndRestoresTwice)
{
    QWidget island;
    island.resize(600, 400);
    host->install(&island);
    island.show();
    view().restoreReading(1200);
    const double offset = model().currentOffset();
    const int index = view().readingCharacterIndex();

    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    window.resize(600, 400);
    window.show();
    host->install(&window);
    EXPECT_EQ(view().parentWidget(), &window);
    EXPECT_TRUE(view().isVisible());
    EXPECT_EQ(view().size(), QSize(600, 400));
    EXPECT_NEAR(model().currentOffset(), offset, 2.0);

    // The later restore puts the position back once more.
    view().resetToTop();
    env.scheduler().runPending();
    EXPECT_NEAR(model().currentOffset(), offset, 2.0);
    EXPECT_EQ(view().readingCharacterIndex(), index);

    // Again into the same container: still pinned there.
    host->install(&window);
    EXPECT_EQ(window.layout()->count(), 1);
    EXPECT_EQ(view().parentWidget(), &window);
}

TEST_F(PrompterHostTest, AMoveKeepsTheTextTheSpeakerScrolledToByHand)
{
    QWidget island;
    island.resize(600, 400);
    host->install(&island);
    view().restoreReading(300);
    QWheelEvent wheel(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, -1200), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&view(), &wheel);
    const double shown = model().scrolledOffset();

    QWidget window;
    window.resize(600, 400);
    host->install(&window);
    env.scheduler().runPending();
    // As wide as before, so the same line is back on the reading line.
    EXPECT_NEAR(model().scrolledOffset(), shown, view().fontSize() * 1.5);
}

TEST_F(PrompterHostTest, AMoveOrAQuitBeforeALoadsRestoreKeepsTheSavedPlace)
{
    // As at start: the island takes the view over before the load's restore
    // has run, in a container never laid out.
    script->selectProject(second.id);
    QWidget island;
    host->install(&island);
    env.scheduler().runPending();
    EXPECT_NEAR(view().readingCharacterIndex(), 900, 40);

    // A quit in the same turn as the load saves the place it was about to show.
    script->selectProject(first.id);
    script->setReadingCharacterIndex(0);
    script->selectProject(second.id);
    host->captureReadingPosition();
    EXPECT_EQ(script->readingCharacterIndex(), 900);
    env.scheduler().runPending();

    // Once restored, the view's own place counts again.
    view().restoreReading(1200);
    host->captureReadingPosition();
    EXPECT_NEAR(script->readingCharacterIndex(), 1200, 40);
}

TEST_F(PrompterHostTest, ContainerDyingDoesNotTakeTheViewAlong)
{
    auto container = std::make_unique<QWidget>();
    host->install(container.get());
    container.reset();
    EXPECT_EQ(view().parentWidget(), nullptr);
    view().setSpokenProgress(10, 0);
}

TEST_F(PrompterHostTest, PlacementPostsOnlyOnChange)
{
    int posts = 0;
    auto observation = platform::NotificationCenter::defaultCenter().observe(
        PrompterHost::placementChangedNotification, host.get(), [&](const auto&) { ++posts; });
    host->setPlacement(PrompterHost::Placement::island);
    EXPECT_EQ(posts, 0);
    host->setPlacement(PrompterHost::Placement::window);
    host->setPlacement(PrompterHost::Placement::window);
    EXPECT_EQ(posts, 1);
    EXPECT_EQ(host->placement(), PrompterHost::Placement::window);
}

TEST_F(PrompterHostTest, ClockAdvancesTheViewAndReachingTheEndPausesIt)
{
    int advanced = 0;
    host->onAdvanced = [&] { ++advanced; };
    autoScroll->start();
    env.scheduler().advance(0.5);
    EXPECT_EQ(advanced, 30);
    EXPECT_GT(model().currentOffset(), 0);
    EXPECT_GT(host->progressFraction(), 0);

    script->moveNext();
    env.scheduler().runPending();
    env.scheduler().advance(1.0 / 60.0);
    EXPECT_FALSE(autoScroll->isRunning());

    // Without the host the clock's ticks reach nothing.
    autoScroll->start();
    host.reset();
    env.scheduler().advance(0.1);
    EXPECT_TRUE(autoScroll->isRunning());
}
