#include "PresentationModuleFixture.h"

#include "island/IslandWindow.h"
#include "island/IslandWindowController.h"
#include "island/ProjectManagementModule.h"
#include "platform/desktop/Popover.h"
#include "look/IslandButton.h"
#include "look/DarkColours.h"
#include "prompter/ScriptScrollView.h"
#include "prompter/TimelineCardView.h"
#include "prompter/TimelineStripCanvas.h"
#include "prompter/TimelineStripView.h"
#include "support/QtPrinting.h"
#include "support/Snapshot.h"

#include <QAccessible>
#include <QComboBox>
#include <QFontMetricsF>
#include <QLabel>
#include <QPushButton>

namespace quorvia {
namespace {

using Kind = PresentationSafetyState::Kind;
using State = PresentationSafetyState;
using Speech = PrompterSpeechStatus::Kind;

struct PresentationModuleTest : test::PresentationModuleFixture {
    int heightNotices = 0;
    platform::Observation heights = platform::NotificationCenter::defaultCenter().observe(
        IslandModule::islandModuleHeightChanged, nullptr, [this](const platform::Notification& n) {
            if (n.sender == static_cast<const IslandModule*>(module.get()))
                ++heightNotices;
        });
};

TEST_F(PresentationModuleTest, IdentitySummaryAndPlacement)
{
    EXPECT_EQ(module->compactSummary(), script->activeProjectName() + QStringLiteral(" · 隐私输出已关闭"));
    EXPECT_EQ(module->preferredExpandedHeight(), 610);
    EXPECT_EQ(module->islandSettingsSize(), (platform::Size{620, 300}));
    EXPECT_EQ(module->privacyClass(), IslandPrivacyClass::privacyCritical);

    // No view yet: the prompter comes back with no home, so scrolling stops.
    host->setPlacement(PrompterHost::Placement::window);
    EXPECT_EQ(module->preferredExpandedHeight(), 470);
    EXPECT_EQ(heightNotices, 1);
    autoScroll->start();
    host->setPlacement(PrompterHost::Placement::island);
    EXPECT_FALSE(autoScroll->isRunning());
    EXPECT_EQ(heightNotices, 2);

    std::unique_ptr<QWidget> view(module->makeExpandedView());
    EXPECT_EQ(heightNotices, 3);
    QWidget* container = module->outlets().scriptHostContainer;
    ASSERT_NE(container, nullptr);
    EXPECT_EQ(host->scriptView().parentWidget(), container);
    host->setPlacement(PrompterHost::Placement::window);
    EXPECT_TRUE(container->isHidden());
    EXPECT_EQ(module->outlets().placementButton->text(), QStringLiteral("吸附回灵动岛"));
    host->setPlacement(PrompterHost::Placement::island);
    EXPECT_FALSE(container->isHidden());
    EXPECT_EQ(module->outlets().placementButton->text(), QStringLiteral("分离窗口"));
    EXPECT_EQ(host->scriptView().parentWidget(), container);
    host->scriptView().setParent(nullptr); // the host's view outlives the panel's
}

TEST_F(PresentationModuleTest, OnlyTheNewestViewIsRefreshedAndNothingReachesAGoneModule)
{
    std::unique_ptr<QWidget> first(module->makeExpandedView());
    QLabel* firstState = module->outlets().stateLabel;
    std::unique_ptr<QWidget> second(module->makeExpandedView());
    host->scriptView().setParent(nullptr);
    first.reset();
    module->update(State::live());
    EXPECT_EQ(module->outlets().stateLabel->text(), State::live().title());
    EXPECT_NE(module->outlets().stateLabel.data(), firstState);

    // Another poster's "PromptScriptChanged" is ignored.
    script->setIndex(1, PresentationEventSource::manualPrompt);
    settle();
    EXPECT_EQ(module->outlets().scriptPositionLabel->text(), script->positionText());
    module->outlets().scriptPositionLabel->setText(QStringLiteral("x"));
    platform::NotificationCenter::defaultCenter().post(NotificationName::promptScriptChanged, &speech);
    settle();
    EXPECT_EQ(module->outlets().scriptPositionLabel->text(), QStringLiteral("x"));

    // A refresh still due when the module goes does nothing.
    script->setIndex(0, PresentationEventSource::manualPrompt);
    module.reset();
    script->setIndex(2, PresentationEventSource::manualPrompt);
    keynote->refresh();
    settle();
}

TEST_F(PresentationModuleTest, ProjectsPopupRestoresARefusedSwitch)
{
    const QUuid first = script->activeProjectID();
    const QUuid second = script->createProject(QStringLiteral("第二场"));
    script->selectProject(first);
    std::unique_ptr<QWidget> settings(module->makeIslandSettingsView());
    QComboBox* popup = module->outlets().projectPopup;
    ASSERT_EQ(popup->count(), 2);
    EXPECT_EQ(popup->itemText(1), QStringLiteral("第二场 · 空稿"));
    EXPECT_EQ(popup->currentIndex(), 0);
    EXPECT_TRUE(module->outlets().deleteProjectButton->isEnabled());

    std::vector<QUuid> asked;
    module->onSelectProject = [&](const QUuid& id) {
        asked.push_back(id);
        return false;
    };
    popup->setCurrentIndex(1);
    module->projectSelectionChanged(popup);
    EXPECT_EQ(asked, std::vector<QUuid>{second});
    EXPECT_EQ(popup->currentIndex(), 0);

    module->onSelectProject = nullptr;
    popup->setCurrentIndex(1);
    module->projectSelectionChanged(popup);
    EXPECT_EQ(popup->currentIndex(), 0);

    module->setDeckImporting(true);
    EXPECT_FALSE(popup->isEnabled());
    EXPECT_TRUE(module->outlets().scriptManagementButton->isEnabled());
}

// A button that takes no click shows it on its face, not only in its title.
TEST_F(PresentationModuleTest, ADisabledDeleteLooksDisabled)
{
    std::unique_ptr<QWidget> settings(module->makeIslandSettingsView());
    settings->resize(settings->sizeHint());
    QPushButton* remove = module->outlets().deleteProjectButton;
    ASSERT_FALSE(remove->isEnabled()); // the only project
    const QImage disabled = remove->grab().toImage();
    script->createProject(QStringLiteral("第二场"));
    ASSERT_TRUE(remove->isEnabled());
    const QImage enabled = remove->grab().toImage();
    test::keepSnapshot(QPixmap::fromImage(enabled), QStringLiteral("delete-enabled"));
    test::keepSnapshot(QPixmap::fromImage(disabled), QStringLiteral("delete-disabled"));
    // A point of the face clear of the title.
    const QPoint face(8, remove->height() / 2);
    const QColor live = enabled.pixelColor(face);
    const QColor dead = disabled.pixelColor(face);
    EXPECT_GT(std::abs(live.red() - dead.red()) + std::abs(live.green() - dead.green()) + std::abs(live.blue() - dead.blue()), 120)
        << live.name().toStdString() << " against " << dead.name().toStdString();
}

TEST_F(PresentationModuleTest, ANotesOutcomeStaysVisibleUntilSomethingNewerHappens)
{
    readKeynote();
    bindDeck(12);
    std::unique_ptr<QWidget> settings(module->makeIslandSettingsView());
    QLabel* notes = module->outlets().keynoteNotesStatusLabel;
    EXPECT_EQ(notes->text(), QStringLiteral("Keynote 注释：可替换"));
    EXPECT_TRUE(module->outlets().replaceKeynoteNotesButton->isEnabled());

    int replaces = 0;
    module->onReplaceKeynoteNotes = [&] { ++replaces; };
    module->setKeynoteNotesWorking(true);
    EXPECT_EQ(notes->text(), QStringLiteral("正在更新 Keynote 注释…"));
    EXPECT_EQ(module->outlets().replaceKeynoteNotesButton->text(), QStringLiteral("正在替换…"));
    module->replaceKeynoteNotesPressed();
    EXPECT_EQ(replaces, 0);

    module->setKeynoteNotesResult(QStringLiteral("替换失败：Keynote 没有回应。"), true);
    EXPECT_EQ(notes->text(), QStringLiteral("替换失败：Keynote 没有回应。"));
    EXPECT_EQ(notes->palette().color(QPalette::WindowText), dark_colours::systemRed());
    // The refreshes that follow keep it.
    script->setIndex(1, PresentationEventSource::manualPrompt);
    platform::NotificationCenter::defaultCenter().post(NotificationName::keynoteNotesBackupChanged, script.get());
    EXPECT_EQ(notes->text(), QStringLiteral("替换失败：Keynote 没有回应。"));
    module->replaceKeynoteNotesPressed();
    EXPECT_EQ(replaces, 1);

    // A project change replaces it.
    script->renameActiveProject(QStringLiteral("新名字"));
    EXPECT_EQ(notes->text(), QStringLiteral("Keynote 注释：可替换"));
    EXPECT_EQ(notes->palette().color(QPalette::WindowText), dark_colours::secondaryLabel());
}

TEST_F(PresentationModuleTest, KeynoteCommandsKeepTheirGates)
{
    readKeynote();
    bindDeck(12);
    module->update(State::standby());
    simulated->clearLog();
    module->refreshKeynotePressed();
    module->jumpKeynotePressed();
    module->toggleKeynotePlaybackPressed();
    settle();
    EXPECT_TRUE(simulated->receivedRequests().empty());

    module->update(State::disabled());
    module->toggleKeynotePlaybackPressed(); // starts the show
    settle();
    readKeynote();
    ASSERT_TRUE(keynote->state().isPlaying);
    module->update(State::standby());
    simulated->clearLog();
    module->toggleKeynotePlaybackPressed(); // stopping always works
    settle();
    EXPECT_EQ(simulated->receivedRequests(), std::vector<test::SimulatedKeynote::Request>{
                                                 test::SimulatedKeynote::Request::playback});

    // A deck of 31 slides against Keynote's 12 sends nothing.
    module->update(State::disabled());
    readKeynote();
    bindDeck(31);
    simulated->clearLog();
    module->jumpKeynotePressed();
    settle();
    EXPECT_TRUE(simulated->receivedRequests().empty());
    bindDeck(12);
    module->jumpKeynotePressed();
    settle();
    EXPECT_EQ(simulated->receivedRequests(), std::vector<test::SimulatedKeynote::Request>{
                                                 test::SimulatedKeynote::Request::goToSlide});

    // Next build only while automation may run.
    simulated->clearLog();
    module->nextKeynoteBuildPressed();
    settle();
    EXPECT_TRUE(simulated->receivedRequests().empty());
}

TEST_F(PresentationModuleTest, ModeChangesPauseStopAndSetInThatOrder)
{
    auto track = [this](const QString& name, const void* sender, std::string entry) {
        return platform::NotificationCenter::defaultCenter().observe(
            name, sender, [this, entry](const platform::Notification&) { log.push_back(entry); });
    };
    script->setPromptMode(PromptMode::keyword);
    autoScroll->start();
    auto scroll = track(AutoScrollController::stateChangedNotification, autoScroll.get(), "scroll changed");
    auto mode = track(NotificationName::presentationModeChanged, script.get(), "mode changed");
    std::unique_ptr<QWidget> view(module->makeExpandedView());
    host->scriptView().setParent(nullptr);
    QComboBox* popup = module->outlets().modePopup;
    EXPECT_EQ(popup->currentIndex(), 1);

    module->promptModeChanged(popup); // the mode already chosen
    EXPECT_EQ(log, (std::vector<std::string>{"scroll changed", "speech stop keeping calibration"}));
    log.clear();
    popup->setCurrentIndex(2);
    module->promptModeChanged(popup);
    EXPECT_EQ(log, (std::vector<std::string>{"speech stop keeping calibration", "mode changed"}));
    EXPECT_EQ(script->promptMode(), PromptMode::fixedScroll);
    settle();
    EXPECT_EQ(module->outlets().autoScrollButton->text(), QStringLiteral("开始滚动"));

    int toggles = 0;
    module->onToggleAutoScroll = [&] { ++toggles; };
    module->toggleAutoScrollPressed();
    EXPECT_EQ(toggles, 1);
    script->setPromptMode(PromptMode::wordFollow);
    log.clear();
    speech.set(Speech::questionPaused, QStringLiteral("语音：问答暂停"));
    module->toggleAutoScrollPressed();
    speech.set(Speech::degraded, QStringLiteral("语音：已降级"));
    module->toggleAutoScrollPressed();
    module->questionPausePressed();
    speech.set(Speech::listening, QStringLiteral("语音：逐字跟读"));
    module->questionPausePressed();
    EXPECT_EQ(log, (std::vector<std::string>{"speech stop keeping calibration", "speech start",
                                             "resume after low confidence", "question pause"}));
    settle();
    EXPECT_EQ(module->outlets().automationStatusLabel->text(), QStringLiteral("语音：逐字跟读"));
    EXPECT_EQ(module->outlets().questionPauseButton->text(), QStringLiteral("问答暂停"));
    EXPECT_TRUE(module->outlets().questionPauseButton->isEnabled());
}

TEST_F(PresentationModuleTest, CallbacksRaisedOnlyThroughTheirGates)
{
    std::vector<std::string> raised;
    module->onStartPrivacyOutput = [&] { raised.push_back("start"); };
    module->onStopPrivacyOutput = [&] { raised.push_back("stop"); };
    module->onImportKeynoteDocument = [&] { raised.push_back("import"); };
    module->onToggleAudiencePreview = [&] { raised.push_back("preview"); };
    for (const State& state : {State::disabled(), State::safeStopped(QStringLiteral("镜像")),
                               State::degraded(QStringLiteral("慢")), State::live()}) {
        module->update(state);
        module->togglePrivacyOutputPressed();
        module->importDeckPressed();
        module->toggleAudiencePreviewPressed();
    }
    EXPECT_EQ(raised, (std::vector<std::string>{"start", "import", "preview", "start", "stop", "stop"}));

    raised.clear();
    module->update(State::disabled());
    module->setDeckImporting(true);
    module->importDeckPressed();
    EXPECT_TRUE(raised.empty());

    // A settings view built during the import shows it.
    std::unique_ptr<QWidget> settings(module->makeIslandSettingsView());
    EXPECT_EQ(module->outlets().deckStatusLabel->text(), QStringLiteral("正在打开 .key 文稿并读取页数…"));
    EXPECT_EQ(module->outlets().importDeckButton->text(), QStringLiteral("正在导入…"));
    EXPECT_FALSE(module->outlets().importDeckButton->isEnabled());
    module->setDeckImporting(false);
    EXPECT_EQ(module->outlets().importDeckButton->text(), QStringLiteral("导入 .key 文稿"));
    EXPECT_TRUE(module->outlets().importDeckButton->isEnabled());

    // Speed and font stay within their bounds.
    for (int i = 0; i < 40; ++i)
        module->fasterPressed();
    EXPECT_EQ(autoScroll->charactersPerMinute(), 800);
    for (int i = 0; i < 20; ++i)
        module->largerFontPressed();
    EXPECT_EQ(host->scriptView().fontSize(), 40);
}

TEST_F(PresentationModuleTest, AudienceDisplaysRebuildOnlyOnAChange)
{
    displays->plug(test::FakeDisplayService::external(5, QStringLiteral("投影仪")));
    displays->plug(test::FakeDisplayService::external(6, QStringLiteral("电视"),
                                                      platform::Rect(3360, 0, 1920, 1080)));
    std::unique_ptr<QWidget> settings(module->makeIslandSettingsView());
    module->refreshAudienceDisplays();
    QComboBox* popup = module->outlets().audienceDisplayPopup;
    ASSERT_EQ(popup->count(), 2);
    EXPECT_EQ(popup->currentIndex(), -1);
    EXPECT_EQ(popup->placeholderText(), QStringLiteral("请选择观众外屏"));
    EXPECT_TRUE(popup->isEnabled());

    popup->setItemText(0, QStringLiteral("未动"));
    module->refreshAudienceDisplays();
    module->refreshAudienceDisplays();
    EXPECT_EQ(popup->itemText(0), QStringLiteral("未动"));

    popup->setCurrentIndex(1);
    module->audienceDisplayChanged(popup);
    EXPECT_EQ(popup->currentIndex(), 1);
    EXPECT_EQ(popup->itemText(1), QStringLiteral("观众：电视"));

    module->update(State::live());
    EXPECT_FALSE(popup->isEnabled());
    EXPECT_FALSE(module->outlets().appSharingButton->isEnabled());
}

TEST_F(PresentationModuleTest, LeavingTheIslandStopsOnlyAnEmbeddedPrompter)
{
    autoScroll->start();
    module->didResignActive();
    EXPECT_FALSE(autoScroll->isRunning());
    EXPECT_EQ(log, std::vector<std::string>{"speech stop keeping calibration"});

    log.clear();
    host->setPlacement(PrompterHost::Placement::window);
    autoScroll->start();
    module->didResignActive();
    EXPECT_TRUE(autoScroll->isRunning());
    EXPECT_TRUE(log.empty());
    autoScroll->pause();
}

TEST_F(PresentationModuleTest, PicturesOfThePanelInTheIsland)
{
    readKeynote();
    bindDeck(12);
    displays->plug(test::FakeDisplayService::external(5, QStringLiteral("投影仪")));
    displaySelection->refresh();
    std::shared_ptr<PresentationModule> shared(module.get(), [](PresentationModule*) {});
    IslandWindowController island({shared, std::make_shared<ProjectManagementModule>()}, preferences);
    island.showWindow();
    EXPECT_EQ(island.window()->frame().height(), 660);
    EXPECT_EQ(island.moduleContent().width(), 596);
    test::keepSnapshot(island.window()->grab(), QStringLiteral("presentation-panel"));

    island.showSettings(&island.settingsButton());
    ASSERT_NE(island.settingsPopover(), nullptr);
    test::keepSnapshot(island.settingsPopover()->contentView()->grab(), QStringLiteral("presentation-settings"));
    host->scriptView().setParent(nullptr);
}

TEST_F(PresentationModuleTest, ChangesInOneTurnRefreshThePanelOnceAfterItAndKeepTheCards)
{
    script->replaceText(QStringLiteral("1\n一二三四\n---\n2\n五六七八\n---\nDemo\n九十"));
    std::unique_ptr<QWidget> view(module->makeExpandedView());
    std::unique_ptr<QWidget> settings(module->makeIslandSettingsView());
    host->scriptView().setParent(nullptr);
    settle();
    TimelineStripCanvas* canvas = module->outlets().timelineStrip->canvas();
    ASSERT_EQ(canvas->cardCount(), 3);
    QAccessibleInterface* cards = QAccessible::queryAccessibleInterface(canvas);
    QAccessibleInterface* firstCard = cards->child(0);
    QComboBox* projects = module->outlets().projectPopup;
    int projectListRebuilds = 0;
    QObject::connect(projects->model(), &QAbstractItemModel::rowsRemoved, [&] { ++projectListRebuilds; });

    // Recognised words: spoken progress, then the reading position, in one turn.
    script->setSpeechProgress(2, 0, false);
    script->setReadingCharacterIndex(2);
    script->setSpeechProgress(3, 0, false);
    module->outlets().scriptPositionLabel->setText(QStringLiteral("x"));
    EXPECT_EQ(module->outlets().scriptPositionLabel->text(), QStringLiteral("x")) << "not refreshed in the turn";
    settle();
    EXPECT_EQ(module->outlets().scriptPositionLabel->text(), script->positionText());
    EXPECT_EQ(cards->child(0), firstCard);
    EXPECT_TRUE(canvas->findChildren<QWidget*>().isEmpty());
    EXPECT_EQ(projectListRebuilds, 0);

    // A move between sections still shows at the end of its turn, on the same cards.
    script->setIndex(2, PresentationEventSource::manualPrompt);
    settle();
    EXPECT_EQ(module->outlets().scriptPositionLabel->text(), script->positionText());
    EXPECT_TRUE(canvas->card(2).selected);
    EXPECT_FALSE(canvas->card(0).selected);
    EXPECT_EQ(cards->child(0), firstCard);
    EXPECT_TRUE(canvas->findChildren<QWidget*>().isEmpty());
}

} // namespace
} // namespace quorvia

namespace quorvia {
namespace {

TEST_F(PresentationModuleTest, PositionAndSpeedFiguresTakeOneWidthEach)
{
    std::unique_ptr<QWidget> view(module->makeExpandedView());
    for (QLabel* label : {module->outlets().scriptPositionLabel.data(), module->outlets().speedLabel.data()}) {
        ASSERT_NE(label, nullptr);
        const QFontMetricsF metrics(label->font());
        EXPECT_DOUBLE_EQ(metrics.horizontalAdvance(QStringLiteral("1")), metrics.horizontalAdvance(QStringLiteral("8")));
        EXPECT_DOUBLE_EQ(metrics.horizontalAdvance(QStringLiteral("111")), metrics.horizontalAdvance(QStringLiteral("888")));
    }
    host->scriptView().setParent(nullptr);
}

} // namespace
} // namespace quorvia
