#include "island/PresentationPanelModel.h"
#include "support/QtPrinting.h"

#include <gtest/gtest.h>

namespace quorvia {
namespace {

namespace panel = presentation_panel;
using State = PresentationSafetyState;
using Speech = PanelSpeechStatus::Kind;

PresentationDeck deckOf(int slides, const QString& path = QStringLiteral("/talks/年度汇报.key"))
{
    return PresentationDeck::keynoteDocument(path, slides);
}

// Keynote ready and showing the bound 12-slide deck, section 0 mapped to slide 3.
PresentationPanelSnapshot verified()
{
    PresentationPanelSnapshot s;
    s.keynote = KeynoteConnectionState::ready(3, 12, false);
    s.deck = deckOf(12);
    s.documentIdentity = KeynoteDocumentIdentity{QStringLiteral("年度汇报.key"), QStringLiteral("/talks/年度汇报.key")};
    s.mappedSlide = 3;
    s.anyMappedSection = true;
    s.hasContent = true;
    return s;
}

ExternalDisplayDescriptor display(platform::DisplayID id, const QString& name)
{
    ExternalDisplayDescriptor d;
    d.id = id;
    d.stableKey = QStringLiteral("k") + QString::number(id);
    d.name = name;
    return d;
}

std::vector<State> busyStates()
{
    return {State::preparing(), State::standby(), State::preflighting(), State::privacyPaused(),
            State::degraded(QStringLiteral("帧率过低")), State::safeStopped(QStringLiteral("检测到系统镜像"))};
}

TEST(PresentationPanelKeynote, StatusFollowsTheDocumentCheck)
{
    auto s = verified();
    auto k = panel::keynoteControls(s);
    EXPECT_EQ(k.status.text, s.keynote.title() + QStringLiteral(" · 文档一致"));
    EXPECT_EQ(k.status.tint, PanelTint::green);
    EXPECT_TRUE(k.jump.enabled);
    EXPECT_EQ(k.jump.title, QStringLiteral("跳到第 3 页"));
    EXPECT_EQ(k.jump.toolTip, QStringLiteral("把 Keynote 前台文稿定位到当前稿件段落的映射页。"));

    // Same document, another slide count.
    s.keynote = KeynoteConnectionState::ready(3, 13, false);
    k = panel::keynoteControls(s);
    EXPECT_EQ(k.status, (PanelLabel{QStringLiteral("Keynote 文档或页数与绑定的 .key 文稿不一致"),
                                    QStringLiteral("当前映射不能作为现场自动同步依据；请打开对应文档后重新检测。"),
                                    PanelTint::red}));
    EXPECT_FALSE(k.jump.enabled);
    EXPECT_EQ(k.jump.toolTip, QStringLiteral("请先检测 Keynote，并确认它与绑定的 .key 文稿一致。"));
    auto n = panel::notesControls(s, std::nullopt);
    EXPECT_FALSE(n.replace.enabled);
    EXPECT_FALSE(n.restoreEnabled);
    EXPECT_EQ(n.status.text, QStringLiteral("Keynote 注释：.key 文稿与 Keynote 不一致"));

    // No identity counts as not verified.
    s = verified();
    s.documentIdentity.reset();
    EXPECT_EQ(panel::keynoteControls(s).status.tint, PanelTint::red);

    // Ready without a deck: the state's own texts, in green.
    s = verified();
    s.deck.reset();
    k = panel::keynoteControls(s);
    EXPECT_EQ(k.status, (PanelLabel{s.keynote.title(), s.keynote.detail(), PanelTint::green}));
    EXPECT_FALSE(k.jump.enabled);

    // Not ready: secondary colour.
    s.keynote = KeynoteConnectionState::notRunning();
    EXPECT_EQ(panel::keynoteControls(s).status.tint, PanelTint::secondary);
}

TEST(PresentationPanelKeynote, CommandsAndTheirGates)
{
    auto s = verified();
    s.keynote = KeynoteConnectionState::checking();
    auto k = panel::keynoteControls(s);
    EXPECT_FALSE(k.refreshEnabled);
    EXPECT_FALSE(k.playback.enabled);
    auto n = panel::notesControls(s, std::nullopt);
    EXPECT_EQ(n.status.text, QStringLiteral("Keynote 注释：请先检测 Keynote"));
    EXPECT_EQ(n.replace.toolTip, QStringLiteral("请先打开 Keynote 文稿并点击“检测 Keynote”。"));
    EXPECT_FALSE(n.replace.enabled);
    EXPECT_FALSE(n.restoreEnabled);

    s = verified();
    s.keynote = KeynoteConnectionState::ready(3, 12, true);
    k = panel::keynoteControls(s);
    EXPECT_EQ(k.playback.title, QStringLiteral("停止放映"));
    n = panel::notesControls(s, std::nullopt);
    EXPECT_EQ(n.status.text, QStringLiteral("Keynote 注释：停止放映后可修改"));
    EXPECT_EQ(n.replace.toolTip, QStringLiteral("请先停止 Keynote 放映，再修改注释。"));
    EXPECT_FALSE(n.replace.enabled);

    for (const State& state : busyStates()) {
        s = verified();
        s.state = state;
        k = panel::keynoteControls(s);
        n = panel::notesControls(s, std::nullopt);
        EXPECT_FALSE(k.refreshEnabled || k.jump.enabled || k.playback.enabled || n.replace.enabled
                     || n.restoreEnabled)
            << state.title().toStdString();
        EXPECT_EQ(n.status.text, QStringLiteral("Keynote 注释：可替换"));
    }
    s = verified();
    s.state = State::live();
    k = panel::keynoteControls(s);
    EXPECT_TRUE(k.refreshEnabled && k.jump.enabled && k.playback.enabled);

    s = verified();
    s.isImportingDeck = true;
    k = panel::keynoteControls(s);
    EXPECT_FALSE(k.refreshEnabled);
    EXPECT_FALSE(k.jump.enabled);
    EXPECT_TRUE(k.playback.enabled);

    s = verified();
    s.mappedSlide.reset();
    EXPECT_EQ(panel::keynoteControls(s).jump.title, QStringLiteral("当前段未映射"));
    EXPECT_FALSE(panel::keynoteControls(s).jump.enabled);
}

TEST(PresentationPanelNotes, RowsInPriorityAndTheBackupMustMatchTheFrontDocument)
{
    auto s = verified();
    auto n = panel::notesControls(s, std::nullopt);
    EXPECT_EQ(n.status.text, QStringLiteral("Keynote 注释：可替换"));
    EXPECT_TRUE(n.replace.enabled);
    EXPECT_FALSE(n.restoreEnabled);
    EXPECT_EQ(n.replace.title, QStringLiteral("替换 Keynote 注释"));

    KeynotePresenterNotesBackup backup{QStringLiteral("年度汇报"), QStringLiteral("/talks/年度汇报.key"), 12, {}};
    s.notesBackup = backup;
    n = panel::notesControls(s, std::nullopt);
    EXPECT_EQ(n.status.text, QStringLiteral("Keynote 注释：可替换，也可恢复备份"));
    EXPECT_TRUE(n.restoreEnabled);

    s.notesBackup->slideCount = 11;
    EXPECT_FALSE(panel::notesControls(s, std::nullopt).restoreEnabled);
    s.notesBackup = KeynotePresenterNotesBackup{QStringLiteral("别的"), QStringLiteral("/talks/别的.key"), 12, {}};
    EXPECT_EQ(panel::notesControls(s, std::nullopt).status.text, QStringLiteral("Keynote 注释：可替换"));

    s.notesBackup = backup;
    s.anyMappedSection = false;
    n = panel::notesControls(s, std::nullopt);
    EXPECT_EQ(n.status.text, QStringLiteral("Keynote 注释：没有可写入的数字块"));
    EXPECT_FALSE(n.replace.enabled || n.restoreEnabled);

    s = verified();
    s.isWritingKeynoteNotes = true;
    n = panel::notesControls(s, std::nullopt);
    EXPECT_FALSE(n.statusChanges);
    EXPECT_EQ(n.replace.title, QStringLiteral("正在替换…"));
    EXPECT_FALSE(n.replace.enabled);
}

TEST(PresentationPanelNotes, AnOutcomeStaysVisibleOverTheRowText)
{
    auto s = verified();
    auto n = panel::notesControls(s, PanelNotesResult{QStringLiteral("替换失败：Keynote 无响应"), true});
    EXPECT_EQ(n.status.text, QStringLiteral("替换失败：Keynote 无响应"));
    EXPECT_EQ(n.status.tint, PanelTint::red);
    EXPECT_TRUE(n.replace.enabled);
    s.keynote = KeynoteConnectionState::notRunning();
    n = panel::notesControls(s, PanelNotesResult{QStringLiteral("已替换 12 页注释"), false});
    EXPECT_EQ(n.status.tint, PanelTint::green);
    s.isWritingKeynoteNotes = true;
    EXPECT_FALSE(panel::notesControls(s, PanelNotesResult{QStringLiteral("x"), true}).statusChanges);
}

TEST(PresentationPanelProjects, ItemsSelectionAndEnablement)
{
    PresentationPanelSnapshot s;
    const QUuid a = QUuid::createUuid(), b = QUuid::createUuid(), c = QUuid::createUuid();
    s.projects = {{a, QStringLiteral("发布会"), 0}, {b, QStringLiteral("周会"), 12}, {c, QStringLiteral("周会"), 12}};
    s.activeProjectID = c;
    s.canDeleteActiveProject = true;
    auto p = panel::projectControls(s);
    ASSERT_EQ(p.items.size(), 3u);
    EXPECT_EQ(p.items[0].title, QStringLiteral("发布会 · 空稿"));
    EXPECT_EQ(p.items[1].title, QStringLiteral("周会 · 12 段"));
    EXPECT_EQ(p.items[2].title, p.items[1].title);
    EXPECT_EQ(p.items[2].key, c.toString(QUuid::WithoutBraces).toUpper());
    EXPECT_EQ(p.selectedIndex, 2u);
    EXPECT_TRUE(p.enabled && p.deleteEnabled);

    s.canDeleteActiveProject = false;
    p = panel::projectControls(s);
    EXPECT_TRUE(p.enabled);
    EXPECT_FALSE(p.deleteEnabled);

    s.activeProjectID = QUuid::createUuid();
    EXPECT_FALSE(panel::projectControls(s).selectedIndex);

    // An import blocks projects but not editing.
    s.hasContent = true;
    s.isImportingDeck = true;
    EXPECT_FALSE(panel::projectControls(s).enabled);
    auto script = panel::scriptControls(s);
    EXPECT_TRUE(script.editEnabled && script.scriptManagementEnabled);

    s.isImportingDeck = false;
    for (const State& state : {State::live(), State::standby()}) {
        s.state = state;
        script = panel::scriptControls(s);
        EXPECT_FALSE(panel::projectControls(s).enabled || script.editEnabled || script.scriptManagementEnabled);
    }
    s.state = State::disabled();
    s.hasContent = false;
    script = panel::scriptControls(s);
    EXPECT_FALSE(script.editEnabled);
    EXPECT_TRUE(script.scriptManagementEnabled);
}

struct OutputCase {
    State state;
    bool displayChosen;
    QString title;
    bool enabled;
    PanelTint bezel;
    bool popupEnabled;
    bool sharingEnabled;
};

TEST(PresentationPanelOutput, ButtonPopupAndSharingFollowTheSafetyState)
{
    const OutputCase cases[] = {
        {State::disabled(), true, QStringLiteral("启动隐私输出"), true, PanelTint::blue, true, true},
        {State::disabled(), false, QStringLiteral("启动隐私输出"), false, PanelTint::blue, true, true},
        {State::safeStopped(QStringLiteral("镜像")), true, QStringLiteral("重新尝试隐私输出"), true, PanelTint::orange,
         true, false},
        {State::safeStopped(QStringLiteral("镜像")), false, QStringLiteral("重新尝试隐私输出"), false,
         PanelTint::orange, true, false},
        {State::degraded(QStringLiteral("慢")), true, QStringLiteral("关闭隐私输出"), true, PanelTint::red, false, false},
        {State::live(), false, QStringLiteral("关闭隐私输出"), true, PanelTint::red, false, false},
    };
    for (const auto& c : cases) {
        PresentationPanelSnapshot s;
        s.state = c.state;
        s.displays = {display(5, QStringLiteral("投影仪")), display(6, QStringLiteral("电视"))};
        if (c.displayChosen)
            s.selectedDisplayID = 5;
        const auto o = panel::privacyOutputControls(s);
        EXPECT_EQ(o.button.title, c.title);
        EXPECT_EQ(o.button.enabled, c.enabled) << c.title.toStdString();
        EXPECT_EQ(o.button.bezel, c.bezel);
        EXPECT_EQ(o.audiencePopupEnabled, c.popupEnabled) << c.state.title().toStdString();
        EXPECT_EQ(o.appSharingEnabled, c.sharingEnabled);
    }
}

TEST(PresentationPanelOutput, AudienceDisplayPopupAndPreview)
{
    PresentationPanelSnapshot s;
    auto popup = panel::audienceDisplayPopup(s);
    EXPECT_EQ(popup.items, (std::vector<PanelPopupItem>{{QStringLiteral("未连接外屏"), std::nullopt}}));
    EXPECT_EQ(popup.selectedIndex, 0u);
    EXPECT_TRUE(popup.forceDisabled);

    s.displays = {display(5, QStringLiteral("投影仪"))};
    s.selectedDisplayID = 5;
    popup = panel::audienceDisplayPopup(s);
    EXPECT_EQ(popup.items[0].title, QStringLiteral("观众：投影仪"));
    EXPECT_EQ(popup.selectedIndex, 0u);
    EXPECT_FALSE(panel::privacyOutputControls(s).audiencePopupEnabled);

    s.displays.push_back(display(6, QStringLiteral("电视")));
    s.selectedDisplayID.reset();
    popup = panel::audienceDisplayPopup(s);
    EXPECT_FALSE(popup.selectedIndex);
    EXPECT_EQ(popup.placeholderTitle, QStringLiteral("请选择观众外屏"));
    EXPECT_EQ(popup.toolTip, QStringLiteral("请选择本次演讲的观众外屏。"));
    EXPECT_FALSE(panel::privacyOutputControls(s).button.enabled);

    auto preview = panel::audiencePreviewButton(s);
    EXPECT_FALSE(preview.enabled);
    EXPECT_EQ(preview.toolTip, QStringLiteral("隐私输出启动后禁用；请先关闭隐私输出并选择观众外屏。"));
    s.selectedDisplayID = 6;
    s.isAudiencePreviewVisible = true;
    preview = panel::audiencePreviewButton(s);
    EXPECT_EQ(preview, (PanelButton{QStringLiteral("关闭预览"), true, PanelTint::orange,
                                    QStringLiteral("在内屏打开一个可拖动、可缩放的所选外屏只读预览。")}));
    s.state = State::live();
    EXPECT_FALSE(panel::audiencePreviewButton(s).enabled);
}

TEST(PresentationPanelAutomation, FixedScrollAndSpeechModes)
{
    PresentationPanelSnapshot s;
    s.mode = PromptMode::fixedScroll;
    s.speedText = QStringLiteral("260 字/分");
    s.canDecreaseSpeed = s.canIncreaseSpeed = true;
    s.state = State::live();
    // No blocks: nothing may run.
    auto a = panel::automationControls(s);
    EXPECT_EQ(a.modeIndex, 2);
    EXPECT_EQ(a.autoScroll.title, QStringLiteral("开始滚动"));
    EXPECT_FALSE(a.autoScroll.enabled || a.slowerEnabled || a.fasterEnabled || a.questionPauseEnabled);
    EXPECT_FALSE(a.questionPauseTitle);
    EXPECT_EQ(a.status, (PanelLabel{QStringLiteral("固定滚动 · 260 字/分"), QStringLiteral("不使用麦克风。"),
                                    PanelTint::secondary}));
    EXPECT_FALSE(a.audioSetupEnabled);

    s.hasContent = true;
    s.autoScrollRunning = true;
    s.canIncreaseSpeed = false;
    a = panel::automationControls(s);
    EXPECT_EQ(a.autoScroll.title, QStringLiteral("暂停滚动"));
    EXPECT_TRUE(a.autoScroll.enabled && a.slowerEnabled);
    EXPECT_FALSE(a.fasterEnabled);

    // Listening, but the output went off and Keynote stopped playing.
    s.mode = PromptMode::keyword;
    s.state = State::disabled();
    s.keynote = KeynoteConnectionState::ready(1, 5, false);
    s.speech = {Speech::listening, QStringLiteral("语音：关键词"), QStringLiteral("正在听")};
    a = panel::automationControls(s);
    EXPECT_EQ(a.modeIndex, 1);
    EXPECT_EQ(a.autoScroll.title, QStringLiteral("停止语音"));
    EXPECT_FALSE(a.autoScroll.enabled || a.slowerEnabled || a.fasterEnabled);
    EXPECT_EQ(a.questionPauseTitle, QStringLiteral("问答暂停"));
    EXPECT_TRUE(a.questionPauseEnabled);
    EXPECT_TRUE(a.audioSetupEnabled);
    EXPECT_EQ(a.status.toolTip, QStringLiteral("正在听"));

    s.keynote = KeynoteConnectionState::ready(1, 5, true);
    const std::pair<Speech, std::pair<QString, bool>> rows[] = {
        {Speech::degraded, {QStringLiteral("恢复语音"), true}},
        {Speech::questionPaused, {QStringLiteral("继续跟读"), true}},
        {Speech::calibrating, {QStringLiteral("问答暂停"), false}},
        {Speech::unavailable, {QStringLiteral("问答暂停"), false}},
        {Speech::ready, {QStringLiteral("问答暂停"), false}},
    };
    for (const auto& [kind, expected] : rows) {
        s.speech.kind = kind;
        a = panel::automationControls(s);
        EXPECT_EQ(a.questionPauseTitle, expected.first);
        EXPECT_EQ(a.questionPauseEnabled, expected.second);
        EXPECT_EQ(a.autoScroll.title,
                  kind == Speech::questionPaused ? QStringLiteral("停止语音") : QStringLiteral("开始语音"));
    }
}

TEST(PresentationPanelSync, ToggleResumeAndNextBuild)
{
    PresentationPanelSnapshot s;
    s.keynote = KeynoteConnectionState::ready(1, 5, true);
    s.syncStatus = PresentationSyncStatus::suspended(QStringLiteral("暂停"));
    s.syncEnabled = false;
    auto c = panel::syncControls(s);
    EXPECT_FALSE(c.resumeEnabled);
    EXPECT_TRUE(c.buildEnabled);
    EXPECT_EQ(c.toggle.title, QStringLiteral("启用双向同步"));
    s.syncEnabled = true;
    EXPECT_TRUE(panel::syncControls(s).resumeEnabled);
    EXPECT_EQ(panel::syncControls(s).toggle.title, QStringLiteral("关闭双向同步"));

    s.syncStatus = PresentationSyncStatus::conflict(QStringLiteral("冲突"));
    s.syncEnabled = false;
    EXPECT_TRUE(panel::syncControls(s).resumeEnabled);
    s.syncStatus = PresentationSyncStatus::following(3);
    EXPECT_FALSE(panel::syncControls(s).resumeEnabled);

    s.state = State::privacyPaused();
    c = panel::syncControls(s);
    EXPECT_FALSE(c.toggle.enabled || c.buildEnabled);
    s.state = State::live();
    s.keynote = KeynoteConnectionState::ready(1, 5, false);
    c = panel::syncControls(s);
    EXPECT_TRUE(c.toggle.enabled);
    EXPECT_FALSE(c.buildEnabled);
}

TEST(PresentationPanelDeck, ImportTextsAndGate)
{
    PresentationPanelSnapshot s;
    s.deckStatusText = QStringLiteral("尚未导入 .key 文稿");
    auto d = panel::deckControls(s);
    EXPECT_EQ(d.statusText, QStringLiteral("尚未导入 .key 文稿"));
    EXPECT_EQ(d.importButton.title, QStringLiteral("导入 .key 文稿"));
    EXPECT_TRUE(d.importButton.enabled);
    s.isImportingDeck = true;
    d = panel::deckControls(s);
    EXPECT_EQ(d.statusText, QStringLiteral("正在打开 .key 文稿并读取页数…"));
    EXPECT_EQ(d.importButton.title, QStringLiteral("正在导入…"));
    EXPECT_FALSE(d.importButton.enabled);
    s.isImportingDeck = false;
    s.state = State::live();
    EXPECT_FALSE(panel::deckControls(s).importButton.enabled);
    EXPECT_EQ(panel::appSharingButton(true).title, QStringLiteral("恢复隐私保护"));
    EXPECT_EQ(panel::appSharingButton(false).bezel, PanelTint::none);
}

} // namespace
} // namespace quorvia
