#pragma once

#include "prompter/AutoScrollController.h"
#include "prompter/PrompterHost.h"
#include "prompter/PrompterPanel.h"
#include "prompter/PrompterWindowController.h"
#include "prompter/ScriptScrollView.h"

#include "PrompterSamples.h"
#include "keynote/KeynoteController.h"
#include "keynote/PresentationSyncController.h"
#include "model/PromptScript.h"
#include "platform/core/NotificationCenter.h"
#include "look/IslandPreferences.h"
#include "look/PrompterPreferences.h"
#include "support/FakeDisplayService.h"
#include "support/FakeWorkspace.h"
#include "support/ManualAnimator.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <memory>

namespace quorvia::test {

// Speech automation as the prompter window sees it: a settable status and a
// log of the commands it was given.
class FakeSpeechAutomation final : public PrompterSpeechAutomation {
public:
    PrompterSpeechStatus status() const override { return status_; }
    void startSelectedMode() override { calls.push_back("start"); }
    void stopRecognition(bool preserveCalibration) override
    {
        calls.push_back(preserveCalibration ? "stop keeping calibration" : "stop");
    }
    void toggleQuestionPause() override { calls.push_back("toggle question pause"); }
    void resumeAfterLowConfidence() override { calls.push_back("resume after low confidence"); }
    const void* notificationSender() const override { return this; }

    // Changes the status and announces it.
    void set(PrompterSpeechStatus::Kind kind, const QString& title)
    {
        status_ = {.kind = kind, .title = title, .detail = {}};
        platform::NotificationCenter::defaultCenter().post(NotificationName::speechAutomationStatusChanged, this);
    }
    void setSilently(PrompterSpeechStatus::Kind kind, const QString& title) { status_ = {.kind = kind, .title = title, .detail = {}}; }

    std::vector<std::string> calls;

private:
    PrompterSpeechStatus status_;
};

// The prompter window over the real script, clock, host and sync controller,
// on the built-in screen of a fake display service, with animations held.
class PrompterWindowFixture : public ::testing::Test {
protected:
    PrompterWindowFixture()
    {
        env.platform().displayService = displays;
        env.platform().workspaceService = workspace;
        env.platform().animatorService = animator;
        displays->setScreens({FakeDisplayService::builtIn(1)});
        script = std::make_unique<PromptScript>(env.defaults());
        script->replaceText(QStringLiteral("1\n") + mixedScriptBlock(600) + QStringLiteral("\n---\n2\n第二块\n---\nDEMO\n演示"));
        autoScroll = std::make_unique<AutoScrollController>(std::make_unique<AutoScrollPreferences>(env.defaults()));
        host = std::make_unique<PrompterHost>(*script, *autoScroll);
        keynote = std::make_unique<KeynoteController>();
        sync = std::make_unique<PresentationSyncController>(*script, *keynote);
    }

    void build()
    {
        controller = std::make_unique<PrompterWindowController>(*script, *autoScroll, *host, preferences, speech, *sync);
    }

    TestPlatform env;
    std::shared_ptr<FakeDisplayService> displays = std::make_shared<FakeDisplayService>();
    std::shared_ptr<FakeWorkspace> workspace = std::make_shared<FakeWorkspace>();
    std::shared_ptr<ManualAnimator> animator = std::make_shared<ManualAnimator>();
    std::unique_ptr<PromptScript> script;
    std::unique_ptr<AutoScrollController> autoScroll;
    std::unique_ptr<PrompterHost> host;
    std::unique_ptr<KeynoteController> keynote;
    std::unique_ptr<PresentationSyncController> sync;
    IslandPreferences islandPreferences{&env.defaults()};
    PrompterPreferences preferences{&env.defaults(), islandPreferences};
    FakeSpeechAutomation speech;
    std::unique_ptr<PrompterWindowController> controller;
};

} // namespace quorvia::test
