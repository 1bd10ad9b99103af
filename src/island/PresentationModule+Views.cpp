#include "island/PresentationModule.h"

#include "island/ElidedLabel.h"
#include "model/PromptScript.h"
#include "look/IslandButton.h"
#include "look/DarkColours.h"
#include "look/TextStyle.h"
#include "prompter/AutoScrollController.h"
#include "prompter/TimelineStripView.h"
#include "prompter/PrompterSpeechAutomation.h"
#include "keynote/KeynoteController.h"
#include "keynote/PresentationSyncController.h"
#include "privacy/DisplaySelectionController.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace quorvia {

namespace {
ElidedLabel* smallLabel(const QString& text, const QColor& color, Qt::TextElideMode mode = Qt::ElideRight)
{
    auto* label = new ElidedLabel(text, mode);
    label->setFont(pixelFont(11, QFont::Medium));
    setTextColour(label, color);
    return label;
}

QHBoxLayout* row(int spacing)
{
    auto* r = new QHBoxLayout;
    r->setContentsMargins(0, 0, 0, 0);
    r->setSpacing(spacing);
    return r;
}

// Buttons sharing their row's width equally.
QHBoxLayout* equalRow(std::initializer_list<QWidget*> widgets)
{
    QHBoxLayout* r = row(8);
    for (QWidget* w : widgets)
        r->addWidget(w, 1);
    return r;
}

QComboBox* popupButton()
{
    auto* popup = new QComboBox;
    popup->setMinimumHeight(30);
    return popup;
}
} // namespace

IslandButton* PresentationModule::actionButton(const QString& title, void (PresentationModule::*action)(),
                                               bool prominent)
{
    auto* button = new IslandButton(title);
    button->setMinimumHeight(30);
    QObject::connect(button, &QPushButton::clicked, this, [this, action] { (this->*action)(); });
    if (prominent)
        button->setBezelColor(dark_colours::systemBlue());
    return button;
}

QWidget* PresentationModule::makeExpandedView()
{
    auto* container = new QWidget;

    auto* stateLabel = new ElidedLabel(currentState_.title());
    stateLabel->setFont(pixelFont(19, QFont::DemiBold));
    setTextColour(stateLabel, dark_colours::white());
    auto* detailLabel = smallLabel(currentState_.detail(), dark_colours::secondaryLabel());
    detailLabel->setFont(pixelFont(11, QFont::Normal));
    IslandButton* privacyButton = actionButton(QStringLiteral("启动隐私输出"),
                                               &PresentationModule::togglePrivacyOutputPressed, true);
    // Room for the longest of its titles, so a narrow header never clips it.
    privacyButton->setMinimumWidth(privacyButton->fontMetrics().horizontalAdvance(QStringLiteral("重新尝试隐私输出")) + 28);
    auto* titleStack = new QWidget;
    titleStack->setMinimumWidth(220);
    auto* titleColumn = new QVBoxLayout(titleStack);
    titleColumn->setContentsMargins(0, 0, 0, 0);
    titleColumn->setSpacing(2);
    titleColumn->addWidget(stateLabel);
    titleColumn->addWidget(detailLabel);
    QHBoxLayout* header = row(10);
    header->addWidget(titleStack, 1);
    header->addWidget(privacyButton, 0, Qt::AlignVCenter);

    auto* positionLabel = new QLabel(script_.positionText());
    positionLabel->setFont(monospacedDigitFont(pixelFont(11, QFont::Medium)));
    setTextColour(positionLabel, dark_colours::systemOrange());
    QComboBox* modePopup = popupButton();
    for (PromptMode mode : allPromptModes)
        modePopup->addItem(quorvia::title(mode), rawValue(mode));
    QObject::connect(modePopup, &QComboBox::activated, this, [this, modePopup] { promptModeChanged(modePopup); });
    ElidedLabel* automationLabel = smallLabel(QString(), dark_colours::secondaryLabel());
    auto* speedLabel = new QLabel(autoScroll_.speedText());
    speedLabel->setFont(monospacedDigitFont(pixelFont(11, QFont::Medium)));
    setTextColour(speedLabel, dark_colours::secondaryLabel());
    QHBoxLayout* reading = row(8);
    reading->addWidget(positionLabel);
    reading->addWidget(modePopup);
    reading->addWidget(automationLabel, 1);
    reading->addWidget(speedLabel);

    auto* scriptHost = new QWidget;
    scriptHost->setMinimumHeight(100);

    auto* strip = new TimelineStripView(TimelineStripView::Density::regular);
    strip->setFixedHeight(int(timelineTotalHeight(TimelineStripView::Density::regular)));
    QPointer<PresentationModule> self(this);
    strip->onSelect = [self](int index) {
        if (self)
            self->script_.setIndex(index, PresentationEventSource::manualPrompt);
    };
    strip->onMove = [self](int from, int to) {
        if (self)
            self->script_.moveBlock(from, to);
    };

    IslandButton* editButton = actionButton(QStringLiteral("编辑当前块"), &PresentationModule::editScriptPressed);
    IslandButton* smaller = actionButton(QStringLiteral("A−"), &PresentationModule::smallerFontPressed);
    smaller->setAccessibleName(QStringLiteral("减小稿件字体"));
    IslandButton* larger = actionButton(QStringLiteral("A+"), &PresentationModule::largerFontPressed);
    larger->setAccessibleName(QStringLiteral("增大稿件字体"));
    IslandButton* placement = actionButton(QStringLiteral("分离窗口"), &PresentationModule::togglePlacementPressed);

    IslandButton* scroll = actionButton(QStringLiteral("开始滚动"), &PresentationModule::toggleAutoScrollPressed);
    IslandButton* slower = actionButton(QStringLiteral("减速"), &PresentationModule::slowerPressed);
    IslandButton* faster = actionButton(QStringLiteral("加速"), &PresentationModule::fasterPressed);
    IslandButton* question = actionButton(QStringLiteral("问答暂停"), &PresentationModule::questionPausePressed);

    ElidedLabel* syncLabel = smallLabel(syncController_.status().title(), dark_colours::label());
    IslandButton* syncToggle = actionButton(QStringLiteral("启用双向同步"), &PresentationModule::toggleSyncPressed);
    IslandButton* syncResume = actionButton(QStringLiteral("恢复同步"), &PresentationModule::resumeSyncPressed);
    IslandButton* build = actionButton(QStringLiteral("下一动画"), &PresentationModule::nextKeynoteBuildPressed);
    QHBoxLayout* sync = row(8);
    sync->addWidget(syncLabel, 1);
    sync->addWidget(syncToggle);
    sync->addWidget(syncResume);
    sync->addWidget(build);

    ElidedLabel* keynoteLabel = smallLabel(keynoteController_.state().title(), dark_colours::label());
    IslandButton* refresh = actionButton(QStringLiteral("检测 Keynote"), &PresentationModule::refreshKeynotePressed);
    IslandButton* playback = actionButton(QStringLiteral("开始放映"), &PresentationModule::toggleKeynotePlaybackPressed);
    IslandButton* preview = actionButton(QStringLiteral("外屏预览"), &PresentationModule::toggleAudiencePreviewPressed);
    QHBoxLayout* keynote = row(8);
    keynote->addWidget(keynoteLabel, 1);
    keynote->addWidget(refresh);
    keynote->addWidget(playback);
    keynote->addWidget(preview);

    auto* root = new QVBoxLayout(container);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(8);
    root->addLayout(header);
    root->addLayout(reading);
    root->addWidget(scriptHost, 1);
    root->addWidget(strip);
    root->addLayout(equalRow({editButton, smaller, larger, placement}));
    root->addLayout(equalRow({scroll, slower, faster, question}));
    root->addLayout(sync);
    root->addLayout(keynote);

    outlets_.stateLabel = stateLabel;
    outlets_.detailLabel = detailLabel;
    outlets_.startPrivacyOutputButton = privacyButton;
    outlets_.stopPrivacyOutputButton = privacyButton;
    outlets_.scriptPositionLabel = positionLabel;
    outlets_.modePopup = modePopup;
    outlets_.automationStatusLabel = automationLabel;
    outlets_.speedLabel = speedLabel;
    outlets_.scriptHostContainer = scriptHost;
    outlets_.timelineStrip = strip;
    outlets_.editScriptButton = editButton;
    outlets_.smallerFontButton = smaller;
    outlets_.largerFontButton = larger;
    outlets_.placementButton = placement;
    outlets_.autoScrollButton = scroll;
    outlets_.slowerButton = slower;
    outlets_.fasterButton = faster;
    outlets_.questionPauseButton = question;
    outlets_.syncStatusLabel = syncLabel;
    outlets_.syncToggleButton = syncToggle;
    outlets_.syncResumeButton = syncResume;
    outlets_.keynoteBuildButton = build;
    outlets_.keynoteStatusLabel = keynoteLabel;
    outlets_.keynoteRefreshButton = refresh;
    outlets_.keynotePlaybackButton = playback;
    outlets_.audiencePreviewButton = preview;

    updateControls(currentState_);
    updateScriptControls();
    updateFontSizeControls();
    updateKeynoteControls();
    updateSyncControls();
    updateAutomationControls();
    applyPlacement();
    return container;
}

QWidget* PresentationModule::makeIslandSettingsView()
{
    // The popover reserves 620 x 300; the rows take the width it leaves inside its margins.
    auto* container = new QWidget;
    container->setMinimumHeight(300);

    auto* heading = new QLabel(QStringLiteral("演讲资料与输出"));
    heading->setFont(pixelFont(15, QFont::DemiBold));

    QComboBox* projectPopup = popupButton();
    QObject::connect(projectPopup, &QComboBox::activated, this,
                     [this, projectPopup] { projectSelectionChanged(projectPopup); });
    IslandButton* create = actionButton(QStringLiteral("新建"), &PresentationModule::createProjectPressed);
    IslandButton* rename = actionButton(QStringLiteral("重命名"), &PresentationModule::renameProjectPressed);
    IslandButton* remove = actionButton(QStringLiteral("删除"), &PresentationModule::deleteProjectPressed);
    remove->setBezelColor(dark_colours::systemRed());
    QHBoxLayout* row1 = row(8);
    row1->addWidget(projectPopup, 1);
    row1->addWidget(create);
    row1->addWidget(rename);
    row1->addWidget(remove);

    IslandButton* duplicate = actionButton(QStringLiteral("复制当前项目"), &PresentationModule::duplicateProjectPressed);
    IslandButton* exportBackup =
        actionButton(QStringLiteral("导出全部备份"), &PresentationModule::exportProjectBackupPressed);
    IslandButton* importBackup = actionButton(QStringLiteral("导入备份"), &PresentationModule::importProjectBackupPressed);

    IslandButton* management = actionButton(QStringLiteral("稿件管理"), &PresentationModule::openScriptManagementPressed);
    ElidedLabel* deckLabel = smallLabel(script_.deckStatusText(), dark_colours::secondaryLabel(), Qt::ElideMiddle);
    IslandButton* importDeck = actionButton(QStringLiteral("导入 .key 文稿"), &PresentationModule::importDeckPressed);
    QHBoxLayout* row3 = row(8);
    row3->addWidget(management);
    row3->addWidget(deckLabel, 1);
    row3->addWidget(importDeck);

    IslandButton* jump = actionButton(QStringLiteral("跳到当前页"), &PresentationModule::jumpKeynotePressed);
    IslandButton* audio = actionButton(QStringLiteral("音频设备"), &PresentationModule::openAudioSetupPressed);

    ElidedLabel* notesLabel =
        smallLabel(QStringLiteral("Keynote 注释：停止放映后可修改"), dark_colours::secondaryLabel());
    IslandButton* replace = actionButton(QStringLiteral("替换 Keynote 注释"), &PresentationModule::replaceKeynoteNotesPressed);
    IslandButton* restore = actionButton(QStringLiteral("恢复原注释"), &PresentationModule::restoreKeynoteNotesPressed);
    QHBoxLayout* row5 = row(8);
    row5->addWidget(notesLabel, 1);
    row5->addWidget(replace);
    row5->addWidget(restore);

    QComboBox* displayPopup = popupButton();
    QObject::connect(displayPopup, &QComboBox::activated, this,
                     [this, displayPopup] { audienceDisplayChanged(displayPopup); });
    IslandButton* sharing = actionButton(isAppSharingEnabled_ ? QStringLiteral("恢复隐私保护") : QStringLiteral("允许共享"),
                                         &PresentationModule::toggleAppSharingPressed);
    QHBoxLayout* row6 = row(8);
    row6->addWidget(displayPopup, 1);
    row6->addWidget(sharing);

    auto* stack = new QVBoxLayout(container);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(10);
    stack->addWidget(heading);
    stack->addLayout(row1);
    stack->addLayout(equalRow({duplicate, exportBackup, importBackup}));
    stack->addLayout(row3);
    stack->addLayout(equalRow({jump, audio}));
    stack->addLayout(row5);
    stack->addLayout(row6);
    stack->addStretch(1);

    outlets_.projectPopup = projectPopup;
    outlets_.createProjectButton = create;
    outlets_.renameProjectButton = rename;
    outlets_.deleteProjectButton = remove;
    outlets_.duplicateProjectButton = duplicate;
    outlets_.exportProjectBackupButton = exportBackup;
    outlets_.importProjectBackupButton = importBackup;
    outlets_.scriptManagementButton = management;
    outlets_.deckStatusLabel = deckLabel;
    outlets_.importDeckButton = importDeck;
    outlets_.keynoteJumpButton = jump;
    outlets_.audioSetupButton = audio;
    outlets_.keynoteNotesStatusLabel = notesLabel;
    outlets_.replaceKeynoteNotesButton = replace;
    outlets_.restoreKeynoteNotesButton = restore;
    outlets_.audienceDisplayPopup = displayPopup;
    outlets_.appSharingButton = sharing;

    updateProjectControls();
    updateScriptControls();
    updateDeckControls();
    updateKeynoteControls();
    updateKeynoteNotesControls();
    reloadAudienceDisplays();
    setAppSharingEnabled(isAppSharingEnabled_);
    // A view built while the output runs must not offer what the output forbids.
    const auto output = presentation_panel::privacyOutputControls(snapshot());
    displayPopup->setEnabled(output.audiencePopupEnabled && !displaySelection_.descriptors().empty());
    sharing->setEnabled(output.appSharingEnabled);
    return container;
}

} // namespace quorvia
