#include "prompter/PrompterSpeechAutomationAdapter.h"

#include "prompter/AutoScrollController.h"
#include "prompter/PrompterHost.h"
#include "prompter/PrompterPanel.h"
#include "prompter/PrompterWindowController.h"

#include "keynote/KeynoteController.h"
#include "keynote/PresentationSyncController.h"
#include "look/IslandButton.h"
#include "look/IslandPreferences.h"
#include "look/PrompterPreferences.h"
#include "speech/SpeechAutomationRig.h"
#include "support/FakeDisplayService.h"
#include "support/FakeWorkspace.h"
#include "support/ManualAnimator.h"
#include "support/QtPrinting.h"
#include "support/Snapshot.h"
#include "support/SimulatedKeynote.h"

#include <QLabel>

#include <gtest/gtest.h>

namespace quorvia {
namespace {

using Kind = PrompterSpeechStatus::Kind;

// Speech automation behind the prompter's interface, with Keynote playing
// Talk.key (12 slides) and two-way sync on, so a spoken advance can be
// followed all the way to the slide.
class PrompterSpeechAutomationAdapterTest : public ::testing::Test, public test::SpeechAutomationRig {
protected:
    PrompterSpeechAutomationAdapterTest()
    {
        env.platform().workspaceService = workspace;
        env.platform().scriptRunnerService = keynote;
        keynote->attach(*workspace);
        keynote->launch();
        keynote->open(test::SimulatedKeynote::Document::withSlides(QStringLiteral("Talk.key"), talkPath, 12));
        script->replaceDeck(PresentationDeck::keynoteDocument(talkPath, 12));
        keynoteController = std::make_unique<KeynoteController>();
        keynoteController->refresh();
        settle();
        sync = std::make_unique<PresentationSyncController>(*script, *keynoteController);
    }

    void runFor(double seconds)
    {
        for (double t = 0; t < seconds - 1e-9; t += 0.05)
            after(0.05);
    }

    const QString talkPath = QStringLiteral("/x/Talk.key");
    std::shared_ptr<test::FakeWorkspace> workspace = std::make_shared<test::FakeWorkspace>();
    std::shared_ptr<test::SimulatedKeynote> keynote = std::make_shared<test::SimulatedKeynote>();
    std::unique_ptr<KeynoteController> keynoteController;
    std::unique_ptr<PresentationSyncController> sync;
    PrompterSpeechAutomationAdapter adapter{*automation};
};

TEST_F(PrompterSpeechAutomationAdapterTest, PassesCommandsAndShowsTheStatus)
{
    EXPECT_EQ(adapter.notificationSender(), automation.get());
    EXPECT_EQ(adapter.status(), (PrompterSpeechStatus{Kind::ready, QStringLiteral("语音：待命"),
                                                      QStringLiteral("开始后直接尝试本机识别；失败时可改用固定滚动或手动。")}));

    adapter.startSelectedMode(); // not live yet
    EXPECT_EQ(adapter.status().kind, Kind::unavailable);
    EXPECT_EQ(adapter.status().detail, QStringLiteral("只有正式演讲状态允许启动语音自动化。"));

    automation->setSafetyState(PresentationSafetyState::live());
    adapter.startSelectedMode();
    settle();
    EXPECT_EQ(adapter.status().kind, Kind::listening);
    EXPECT_EQ(adapter.status().title, QStringLiteral("语音：逐字跟读中"));
    adapter.toggleQuestionPause();
    EXPECT_EQ(adapter.status().kind, Kind::questionPaused);
    adapter.resumeAfterLowConfidence(); // lifts no question pause
    EXPECT_EQ(adapter.status().kind, Kind::questionPaused);
    adapter.toggleQuestionPause();
    EXPECT_EQ(adapter.status().kind, Kind::listening);
    adapter.stopRecognition(false);
    EXPECT_EQ(adapter.status().kind, Kind::ready);
    EXPECT_FALSE(automation->hasPassedCalibration());
    EXPECT_FALSE(recognizer->isCapturing());
}

TEST_F(PrompterSpeechAutomationAdapterTest, ASpokenSectionTurnsKeynoteToTheNextSlide)
{
    sync->setSafetyState(PresentationSafetyState::live());
    ASSERT_TRUE(sync->enable());
    runFor(2.1); // past the hold that enabling starts
    ASSERT_EQ(keynote->frontDocument()->currentSlide, 1);

    automation->setSafetyState(PresentationSafetyState::live());
    adapter.startSelectedMode();
    settle();
    say(opening);
    after(1.0);
    say(opening);
    EXPECT_EQ(script->currentIndex(), 1);
    EXPECT_EQ(sources.back(), QStringLiteral("speech"));
    runFor(1.0);
    EXPECT_EQ(keynote->frontDocument()->currentSlide, 2);
}

TEST_F(PrompterSpeechAutomationAdapterTest, ThePrompterWindowStartsFollowingAndShowsADeadRecognizer)
{
    auto displays = std::make_shared<test::FakeDisplayService>();
    env.platform().displayService = displays;
    env.platform().animatorService = std::make_shared<test::ManualAnimator>();
    displays->setScreens({test::FakeDisplayService::builtIn(1)});
    AutoScrollController autoScroll(std::make_unique<AutoScrollPreferences>(env.defaults()));
    PrompterHost host(*script, autoScroll);
    IslandPreferences islandPreferences(&env.defaults());
    PrompterPreferences preferences(&env.defaults(), islandPreferences);
    PrompterWindowController window(*script, autoScroll, host, preferences, adapter, *sync);
    window.setAutomationAvailable(true);
    automation->setSafetyState(PresentationSafetyState::live());

    window.toggleScrollButton().click();
    settle();
    EXPECT_EQ(window.speedLabel().text(), QStringLiteral("语音：逐字跟读中"));
    EXPECT_EQ(window.toggleScrollButton().text(), QStringLiteral("停止语音"));
    EXPECT_TRUE(recognizer->isCapturing());
    window.window().resize(520, 420);
    test::keepSnapshot(window.window().grab(), QStringLiteral("prompter-speech-listening"));

    channel()->fail();
    settle();
    EXPECT_EQ(window.speedLabel().text(), QStringLiteral("语音：不可用"));
    EXPECT_FALSE(recognizer->isCapturing());
    test::keepSnapshot(window.window().grab(), QStringLiteral("prompter-speech-unavailable"));

    // The next press prepares the recogniser again.
    window.toggleScrollButton().click();
    settle();
    EXPECT_EQ(window.speedLabel().text(), QStringLiteral("语音：逐字跟读中"));
    EXPECT_TRUE(recognizer->isCapturing());
}

} // namespace
} // namespace quorvia
