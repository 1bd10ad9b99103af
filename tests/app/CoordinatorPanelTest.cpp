#include "CoordinatorHarness.h"

#include "prompter/PrompterPanel.h"
#include "prompter/ScriptScrollView.h"
#include "support/QtPrinting.h"

#include <QProgressBar>

#include <cmath>

using namespace quorvia;
using namespace quorvia::test;
using Placement = PrompterHost::Placement;

namespace {

class CoordinatorPanelTest : public CoordinatorHarness {};

TEST_F(CoordinatorPanelTest, ThePanelIsTheFirstModuleAndEveryCommandIsWired)
{
    buildAndStart();
    const auto& modules = app().modules().modules();
    ASSERT_EQ(modules.size(), 2u);
    EXPECT_EQ(modules[0]->id(), QStringLiteral("presentation"));
    EXPECT_EQ(modules[1]->id(), QStringLiteral("project-management"));

    auto& panel = app().panel();
    for (const auto* command :
         {&panel.onStartPrivacyOutput, &panel.onStopPrivacyOutput, &panel.onTogglePrompterPlacement, &panel.onEditScript,
          &panel.onOpenScriptManagement, &panel.onToggleAppSharing, &panel.onToggleAutoScroll, &panel.onCreateProject,
          &panel.onRenameProject, &panel.onDeleteProject, &panel.onDuplicateProject, &panel.onImportProjectBackup,
          &panel.onExportProjectBackup, &panel.onImportKeynoteDocument, &panel.onReplaceKeynoteNotes,
          &panel.onRestoreKeynoteNotes, &panel.onOpenAudioSetup, &panel.onToggleAudiencePreview})
        EXPECT_TRUE(*command);
    ASSERT_TRUE(panel.onSelectProject);

    app().script().replaceText(QStringLiteral("1\none\n---\n2\ntwo"));
    panel.onToggleAutoScroll();
    EXPECT_TRUE(app().scroll().isRunning());
    panel.onToggleAutoScroll();
    EXPECT_FALSE(app().scroll().isRunning());

    const QUuid other = app().script().createProject(QStringLiteral("另一个"));
    app().script().selectProject(app().script().projectSummaries().front().id);
    EXPECT_TRUE(panel.onSelectProject(other));
    EXPECT_EQ(app().script().activeProjectID(), other);

    plugAudienceDisplay();
    panel.onStartPrivacyOutput();
    settle();
    EXPECT_TRUE(app().engine().isPrivacyOutputEnabled());
    EXPECT_EQ(panel.currentState(), app().safetyState());

    auto select = panel.onSelectProject;
    coordinator.reset();
    EXPECT_FALSE(select(other));
}

TEST_F(CoordinatorPanelTest, ThePrompterWindowIsMadeOnceAndClosingItReturnsTheView)
{
    buildAndStart();
    app().togglePrompterPlacement();
    ASSERT_TRUE(app().prompter());
    auto* prompter = app().prompter();
    EXPECT_EQ(app().host().placement(), Placement::window);
    EXPECT_TRUE(prompter->window().isVisible());
    const auto registered = app().windows().registeredWindows();
    EXPECT_NE(std::find(registered.begin(), registered.end(), &prompter->window()), registered.end());

    app().togglePrompterPlacement();
    EXPECT_EQ(app().host().placement(), Placement::island);
    EXPECT_FALSE(prompter->window().isVisible());

    app().togglePrompterPlacement();
    EXPECT_EQ(app().prompter(), prompter);
    prompter->onCloseRequested();
    EXPECT_EQ(app().host().placement(), Placement::island);

    // A real display change sends a detached prompter home.
    app().togglePrompterPlacement();
    displays->plug(FakeDisplayService::external(2));
    settle();
    EXPECT_EQ(app().host().placement(), Placement::island);
    EXPECT_FALSE(prompter->window().isVisible());
}

TEST_F(CoordinatorPanelTest, TheDetachedPromptersProgressBarShowsTheBlockNowShown)
{
    buildAndStart();
    QString lines;
    for (int line = 1; line <= 60; ++line)
        lines += QStringLiteral("第 %1 行：大家好，欢迎来到今天的发布会，我们从市场讲起。\n").arg(line);
    app().script().replaceText(QStringLiteral("1\n") + lines + QStringLiteral("---\n2\n") + lines);
    const QUuid talk = app().script().activeProjectID();
    app().togglePrompterPlacement();
    settle();
    const QProgressBar& bar = app().prompter()->progress();
    const auto shown = [&] { return static_cast<int>(std::lround(app().host().progressFraction() * 100)); };

    // Scrolled to the end of the first block.
    app().host().scriptView().restoreReading(static_cast<int>(lines.size()) - 10);
    app().scroll().start();
    runFor(1.0);
    ASSERT_EQ(bar.value(), 100);

    app().script().moveNext(PresentationEventSource::manualPrompt);
    settle();
    EXPECT_EQ(bar.value(), shown());
    EXPECT_LT(bar.value(), 100);

    // Another project shows its own block, and coming back shows this one again.
    app().script().createProject(QStringLiteral("另一个"));
    settle();
    EXPECT_EQ(bar.value(), shown());
    app().script().selectProject(talk);
    settle();
    EXPECT_EQ(bar.value(), shown());
    EXPECT_LT(bar.value(), 100);
}

TEST_F(CoordinatorPanelTest, SharingAndPreviewFollowTheOutputsState)
{
    buildAndStart();
    app().toggleAudiencePreview(); // no audience display: nothing starts
    EXPECT_FALSE(app().preview().isVisible());

    plugAudienceDisplay();
    capture->autoAnswer = true;
    app().toggleAudiencePreview();
    settle();
    EXPECT_EQ(app().preview().activeDisplayID(), std::optional<platform::DisplayID>(2));
    app().toggleAudiencePreview();
    settle();
    EXPECT_FALSE(app().preview().activeDisplayID());
    capture->autoAnswer = false;

    goLive();
    app().toggleAppSharing();
    EXPECT_FALSE(app().appSharingEnabled());
}

} // namespace

namespace {

TEST_F(CoordinatorPanelTest, AudioDevicesArePolledEverySecondAndTheSetupWindowIsMadeOnce)
{
    buildAndStart();
    int changes = 0;
    auto observation = platform::NotificationCenter::defaultCenter().observe(
        QStringLiteral("AudioDeviceTopologyChanged"), &app().audio(), [&](const auto&) { ++changes; });
    runFor(1.0);
    EXPECT_EQ(changes, 0);
    audio->add(QStringLiteral("usb-mic"), QStringLiteral("USB 麦克风"), 1, 0);
    runFor(1.0);
    EXPECT_EQ(changes, 1);
    runFor(2.0);
    EXPECT_EQ(changes, 1);

    app().showAudioSetup();
    auto* setup = app().audioSetup();
    ASSERT_TRUE(setup);
    EXPECT_TRUE(setup->window()->isVisible());
    app().showAudioSetup();
    EXPECT_EQ(app().audioSetup(), setup);
    const auto registered = app().windows().registeredWindows();
    EXPECT_NE(std::find(registered.begin(), registered.end(), setup->window()), registered.end());
}

} // namespace
