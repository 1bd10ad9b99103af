// The panel's speech controls over the real speech automation, with Keynote
// playing Talk.key and two-way sync on, so what the speaker presses and says
// can be followed to the slide.

#include "island/PresentationModule.h"
#include "keynote/KeynoteController.h"
#include "keynote/PresentationSyncController.h"
#include "privacy/DisplaySelectionController.h"
#include "prompter/AutoScrollController.h"
#include "prompter/AutoScrollPreferences.h"
#include "prompter/PrompterHost.h"
#include "prompter/PrompterSpeechAutomationAdapter.h"
#include "prompter/ScriptScrollView.h"
#include "speech/SpeechAutomationRig.h"
#include "support/FakeDisplayService.h"
#include "support/FakeWorkspace.h"
#include "support/QtPrinting.h"
#include "support/SimulatedKeynote.h"

#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

namespace quorvia {
namespace {

const QString offScript = QStringLiteral("天气晴朗风和日丽");

class PresentationPanelSpeechTest : public ::testing::Test, public test::SpeechAutomationRig {
protected:
    PresentationPanelSpeechTest()
    {
        env.platform().displayService = displays;
        displays->setScreens({test::FakeDisplayService::builtIn()});
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
        autoScroll = std::make_unique<AutoScrollController>(std::make_unique<AutoScrollPreferences>(env.defaults()));
        host = std::make_unique<PrompterHost>(*script, *autoScroll);
        displaySelection = std::make_unique<DisplaySelectionController>(&env.defaults());
        module = std::make_unique<PresentationModule>(*script, *autoScroll, *host, *displaySelection,
                                                      *keynoteController, *sync, adapter);
        view.reset(module->makeExpandedView());
    }

    ~PresentationPanelSpeechTest() override
    {
        host->scriptView().setParent(nullptr); // the host's view outlives the panel's
        view.reset();
        module.reset();
        sync.reset();
        keynoteController.reset();
    }

    // The talk running live with two-way sync on, on slide 1.
    void goLive()
    {
        sync->setSafetyState(PresentationSafetyState::live());
        ASSERT_TRUE(sync->enable());
        runFor(2.1); // past the hold that enabling starts
        ASSERT_EQ(keynote->frontDocument()->currentSlide, 1);
        automation->setSafetyState(PresentationSafetyState::live());
        module->update(PresentationSafetyState::live());
        settle();
    }

    void runFor(double seconds)
    {
        for (double t = 0; t < seconds - 1e-9; t += 0.05)
            after(0.05);
    }

    void press(QPushButton* button)
    {
        ASSERT_TRUE(button->isEnabled()) << button->text().toStdString();
        button->click();
        settle();
    }

    QString statusTitle() const { return module->outlets().automationStatusLabel->text(); }
    QPushButton* pauseButton() const { return module->outlets().questionPauseButton; }

    // The current section read through: enough for an advance when nothing holds it.
    void readThrough()
    {
        say(script->currentText());
        after(1.0);
        say(script->currentText());
    }

    const QString talkPath = QStringLiteral("/x/Talk.key");
    std::shared_ptr<test::FakeDisplayService> displays = std::make_shared<test::FakeDisplayService>();
    std::shared_ptr<test::FakeWorkspace> workspace = std::make_shared<test::FakeWorkspace>();
    std::shared_ptr<test::SimulatedKeynote> keynote = std::make_shared<test::SimulatedKeynote>();
    std::unique_ptr<KeynoteController> keynoteController;
    std::unique_ptr<PresentationSyncController> sync;
    std::unique_ptr<AutoScrollController> autoScroll;
    std::unique_ptr<PrompterHost> host;
    std::unique_ptr<DisplaySelectionController> displaySelection;
    PrompterSpeechAutomationAdapter adapter{*automation};
    std::unique_ptr<PresentationModule> module;
    std::unique_ptr<QWidget> view;
};

TEST_F(PresentationPanelSpeechTest, TheQuestionPauseStaysShownThroughOffScriptTalkAndEachPressLiftsOnePause)
{
    goLive();
    press(module->outlets().autoScrollButton);
    ASSERT_EQ(statusTitle(), QStringLiteral("语音：逐字跟读中"));
    press(pauseButton());
    ASSERT_EQ(statusTitle(), QStringLiteral("语音：问答暂停"));

    // The audience's question, then the answer: nothing like the script, long
    // enough to set off the low-confidence pause behind the question pause.
    statuses.clear();
    for (int i = 0; i < 7; ++i) {
        say(offScript, false);
        after(0.5);
    }
    EXPECT_TRUE(statuses.empty());
    EXPECT_EQ(statusTitle(), QStringLiteral("语音：问答暂停"));
    EXPECT_EQ(pauseButton()->text(), QStringLiteral("继续跟读"));
    readThrough();
    EXPECT_EQ(script->spokenCharacterOffset(0), script->currentText().size());
    EXPECT_EQ(script->currentIndex(), 0);

    // Ending the question pause shows that low confidence still holds advance back.
    press(pauseButton());
    EXPECT_EQ(statusTitle(), QStringLiteral("语音：已降级"));
    EXPECT_EQ(pauseButton()->text(), QStringLiteral("恢复语音"));
    readThrough();
    EXPECT_EQ(script->currentIndex(), 0);

    press(pauseButton());
    EXPECT_EQ(statusTitle(), QStringLiteral("语音：逐字跟读中"));
    EXPECT_EQ(pauseButton()->text(), QStringLiteral("问答暂停"));
    readThrough();
    EXPECT_EQ(script->currentIndex(), 1);
    runFor(1.0);
    EXPECT_EQ(keynote->frontDocument()->currentSlide, 2);
}

} // namespace
} // namespace quorvia
