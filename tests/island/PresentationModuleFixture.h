#pragma once

#include "IslandFixture.h"
#include "island/PresentationModule.h"
#include "keynote/KeynoteController.h"
#include "keynote/PresentationSyncController.h"
#include "model/PromptScript.h"
#include "privacy/DisplaySelectionController.h"
#include "prompter/AutoScrollController.h"
#include "prompter/AutoScrollPreferences.h"
#include "prompter/PrompterHost.h"
#include "prompter/PrompterSpeechAutomation.h"
#include "support/FakeWorkspace.h"
#include "support/SimulatedKeynote.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace quorvia::test {

// Speech automation with a settable status; its commands go to a shared log.
class PanelSpeechAutomation final : public PrompterSpeechAutomation {
public:
    explicit PanelSpeechAutomation(std::vector<std::string>& log) : log_(log) {}
    PrompterSpeechStatus status() const override { return status_; }
    void startSelectedMode() override { log_.push_back("speech start"); }
    void stopRecognition(bool preserveCalibration) override
    {
        log_.push_back(preserveCalibration ? "speech stop keeping calibration" : "speech stop");
    }
    void toggleQuestionPause() override { log_.push_back("question pause"); }
    void resumeAfterLowConfidence() override { log_.push_back("resume after low confidence"); }
    const void* notificationSender() const override { return this; }

    void set(PrompterSpeechStatus::Kind kind, const QString& title)
    {
        status_ = {kind, title, QStringLiteral("说明")};
        platform::NotificationCenter::defaultCenter().post(NotificationName::speechAutomationStatusChanged, this);
    }

private:
    std::vector<std::string>& log_;
    PrompterSpeechStatus status_;
};

// The panel over the real model, prompter host, Keynote and sync controllers,
// with Keynote running Talk.key (12 slides) in front.
struct PresentationModuleFixture : IslandFixture, ::testing::Test {
    PresentationModuleFixture()
    {
        env.platform().workspaceService = workspace;
        env.platform().scriptRunnerService = simulated;
        simulated->attach(*workspace);
        simulated->launch();
        simulated->open(SimulatedKeynote::Document::withSlides(QStringLiteral("Talk.key"),
                                                               QStringLiteral("/x/Talk.key"), 12));
        script = std::make_unique<PromptScript>(env.defaults());
        script->replaceText(QStringLiteral("1\n开场白\n---\n2\n第二页\n---\nDEMO\n现场演示"));
        autoScroll = std::make_unique<AutoScrollController>(std::make_unique<AutoScrollPreferences>(env.defaults()));
        host = std::make_unique<PrompterHost>(*script, *autoScroll);
        displaySelection = std::make_unique<DisplaySelectionController>(&env.defaults());
        keynote = std::make_unique<KeynoteController>();
        sync = std::make_unique<PresentationSyncController>(*script, *keynote);
        module = std::make_unique<PresentationModule>(*script, *autoScroll, *host, *displaySelection, *keynote, *sync,
                                                      speech);
    }

    ~PresentationModuleFixture() override
    {
        module.reset();
        sync.reset();
        keynote.reset();
    }

    void settle() { env.scheduler().settle(); }

    // Keynote read once: ready on slide 1 of 12.
    void readKeynote()
    {
        keynote->refresh();
        settle();
    }

    // Binds a deck of `slides` slides at Talk.key's path.
    void bindDeck(int slides) { script->replaceDeck(PresentationDeck::keynoteDocument(QStringLiteral("/x/Talk.key"), slides)); }

    std::shared_ptr<FakeWorkspace> workspace = std::make_shared<FakeWorkspace>();
    std::shared_ptr<SimulatedKeynote> simulated = std::make_shared<SimulatedKeynote>();
    std::vector<std::string> log;
    PanelSpeechAutomation speech{log};
    std::unique_ptr<PromptScript> script;
    std::unique_ptr<AutoScrollController> autoScroll;
    std::unique_ptr<PrompterHost> host;
    std::unique_ptr<DisplaySelectionController> displaySelection;
    std::unique_ptr<KeynoteController> keynote;
    std::unique_ptr<PresentationSyncController> sync;
    std::unique_ptr<PresentationModule> module;
};

} // namespace quorvia::test
