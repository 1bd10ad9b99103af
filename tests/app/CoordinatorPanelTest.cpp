#include "CoordinatorHarness.h"

#include "prompter/PrompterPanel.h"

using namespace quorvia;
using namespace quorvia::test;
using Placement = PrompterHost::Placement;

namespace {

class CoordinatorPanelTest : public CoordinatorHarness {};

TEST_F(CoordinatorPanelTest, thePanelIsTheFirstModuleAndEveryCommandIsWired)
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

TEST_F(CoordinatorPanelTest, thePrompterWindowIsMadeOnceAndClosingItReturnsTheView)
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
    EXPECT_EQ(app().host().placement(), Placement::island);
    EXPECT_FALSE(prompter->window().isVisible());
}

TEST_F(CoordinatorPanelTest, sharingAndPreviewFollowTheOutputsState)
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

TEST_F(CoordinatorPanelTest, audioDevicesArePolledEverySecondAndTheSetupWindowIsMadeOnce)
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
