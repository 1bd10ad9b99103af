// One recognised word while speech following runs: the script's spoken
// progress moves on, and the island's panel and the prompter window, both
// open over a 50-block script, follow it. The main thread's processor time
// for the change, everything it schedules for that turn and the repaints,
// beside the script view's own spoken-character update and its repaint.

#include "island/PresentationModule.h"
#include "keynote/KeynoteController.h"
#include "keynote/PresentationSyncController.h"
#include "model/PromptScript.h"
#include "privacy/DisplaySelectionController.h"
#include "look/IslandPreferences.h"
#include "look/PrompterPreferences.h"
#include "prompter/AutoScrollController.h"
#include "prompter/AutoScrollPreferences.h"
#include "prompter/PrompterHost.h"
#include "prompter/PrompterPanel.h"
#include "prompter/PrompterSpeechAutomation.h"
#include "prompter/PrompterWindowController.h"
#include "prompter/ScriptScrollView.h"
#include "support/FakeDisplayService.h"
#include "support/FakeWorkspace.h"
#include "support/ManualAnimator.h"
#include "support/TestPlatform.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <ctime>

using namespace quorvia;

namespace {

class ListeningSpeech final : public PrompterSpeechAutomation {
public:
    PrompterSpeechStatus status() const override
    {
        return {PrompterSpeechStatus::Kind::listening, QStringLiteral("语音：逐字跟读"), QString()};
    }
    void startSelectedMode() override {}
    void stopRecognition(bool) override {}
    void toggleQuestionPause() override {}
    void resumeAfterLowConfidence() override {}
    const void* notificationSender() const override { return this; }
};

QString fiftyBlocks()
{
    QStringList blocks;
    for (int i = 1; i <= 50; ++i) {
        QString text;
        for (int line = 0; line < 6; ++line)
            text += QStringLiteral("第%1页的讲稿：今天我们来讨论产品的发布计划与市场分析，以及技术路线。\n").arg(i);
        blocks << (i % 7 == 0 ? QStringLiteral("Demo\n") : QString::number(i) + QStringLiteral("\n")) + text;
    }
    return blocks.join(QStringLiteral("\n---\n"));
}

// The fakes the windows stand on, installed before any is built.
struct Environment {
    Environment()
    {
        env.platform().displayService = displays;
        env.platform().workspaceService = workspace;
        env.platform().animatorService = animator;
        displays->setScreens({test::FakeDisplayService::builtIn(1)});
    }
    test::TestPlatform env;
    std::shared_ptr<test::FakeDisplayService> displays = std::make_shared<test::FakeDisplayService>();
    std::shared_ptr<test::FakeWorkspace> workspace = std::make_shared<test::FakeWorkspace>();
    std::shared_ptr<test::ManualAnimator> animator = std::make_shared<test::ManualAnimator>();
};

// The panel in the island and the prompter in its own window, as when presenting.
struct Presenting : Environment {
    Presenting()
    {
        script.replaceText(fiftyBlocks());
        script.setPromptMode(PromptMode::wordFollow);
        script.setIndex(20, PresentationEventSource::manualPrompt);
        panelView.reset(module.makeExpandedView());
        panelView->resize(596, 610);
        panelView->show();
        host.setPlacement(PrompterHost::Placement::window);
        prompter.takeOverScriptView();
        prompter.window().orderFront();
        env.scheduler().settle();
        QCoreApplication::processEvents();
    }
    ~Presenting()
    {
        panelView.reset();
        env.scheduler().settle();
    }

    PromptScript script{env.defaults()};
    AutoScrollController autoScroll{std::make_unique<AutoScrollPreferences>(env.defaults())};
    PrompterHost host{script, autoScroll};
    DisplaySelectionController displaySelection{&env.defaults()};
    KeynoteController keynote;
    PresentationSyncController sync{script, keynote};
    ListeningSpeech speech;
    IslandPreferences islandPreferences{&env.defaults()};
    PrompterPreferences preferences{&env.defaults(), islandPreferences};
    PresentationModule module{script, autoScroll, host, displaySelection, keynote, sync, speech};
    PrompterWindowController prompter{script, autoScroll, host, preferences, speech, sync};
    std::unique_ptr<QWidget> panelView;
};

double threadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// One word: the spoken offset moves two characters on, and the turn runs out.
void recognisedWord(benchmark::State& state)
{
    Presenting presenting;
    const qint64 length = presenting.script.currentText().size();
    qint64 spoken = 0;
    for (auto _ : state) {
        spoken += 2;
        if (spoken > length) {
            // Spoken progress only grows: start the section again, untimed.
            presenting.script.resetAutomationProgress();
            presenting.env.scheduler().settle();
            spoken = 2;
        }
        const double start = threadSeconds();
        presenting.script.setSpeechProgress(spoken, 20, false);
        presenting.env.scheduler().settle();
        // And the repaints it asked for.
        QCoreApplication::processEvents();
        state.SetIterationTime(threadSeconds() - start);
    }
}
BENCHMARK(recognisedWord)->UseManualTime()->Unit(benchmark::kMillisecond);

// Reference: the script view's own update for one more spoken character.
void scriptViewSpokenCharacter(benchmark::State& state)
{
    Presenting presenting;
    ScriptScrollView& view = presenting.host.scriptView();
    const int length = int(presenting.script.currentText().size());
    int spoken = 0;
    for (auto _ : state) {
        spoken = (spoken + 2) % length;
        const double start = threadSeconds();
        view.setSpokenProgress(spoken, 0);
        QCoreApplication::processEvents();
        state.SetIterationTime(threadSeconds() - start);
    }
}
BENCHMARK(scriptViewSpokenCharacter)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
