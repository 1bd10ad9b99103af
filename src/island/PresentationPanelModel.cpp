#include "island/PresentationPanelModel.h"

#include "platform/core/Uuid.h"

#include <algorithm>

namespace quorvia::presentation_panel {

using Kind = PresentationSafetyState::Kind;

bool isOutputOff(const PresentationSafetyState& state) { return state.kind() == Kind::disabled; }

bool isOutputOffOrLive(const PresentationSafetyState& state)
{
    return state.kind() == Kind::disabled || state.kind() == Kind::live;
}

bool canRunAutomation(const PresentationSafetyState& state, const KeynoteConnectionState& keynote)
{
    if (state.kind() == Kind::live)
        return true;
    if (state.kind() == Kind::disabled)
        return keynote.isReady() && keynote.isPlaying;
    return false;
}

bool isDeckVerified(const PresentationPanelSnapshot& s)
{
    return s.keynote.isReady() && s.deck && s.keynote.slideCount == s.deck->slideCount() && s.documentIdentity
        && s.documentIdentity->matches(*s.deck);
}

bool backupMatches(const PresentationPanelSnapshot& s)
{
    return s.notesBackup && s.documentIdentity
        && s.notesBackup->matches(s.documentIdentity->name, s.documentIdentity->filePath, s.keynote.slideCount);
}

ScriptControls scriptControls(const PresentationPanelSnapshot& s)
{
    const bool free = isOutputOff(s.state) && !s.isWritingKeynoteNotes && !s.isManagingProjects;
    return {s.positionText, free && s.hasContent, free};
}

QString projectItemTitle(const PresentationProjectSummary& summary)
{
    const QString count = summary.sectionCount == 0 ? QStringLiteral("空稿")
                                                    : QString::number(summary.sectionCount) + QStringLiteral(" 段");
    return summary.name + QStringLiteral(" · ") + count;
}

ProjectControls projectControls(const PresentationPanelSnapshot& s)
{
    ProjectControls c;
    for (const auto& summary : s.projects)
        c.items.push_back({projectItemTitle(summary), platform::uuidString(summary.id)});
    const auto active = std::find_if(s.projects.begin(), s.projects.end(),
                                     [&](const auto& summary) { return summary.id == s.activeProjectID; });
    if (active != s.projects.end())
        c.selectedIndex = std::size_t(active - s.projects.begin());
    c.enabled = isOutputOff(s.state) && !s.isImportingDeck && !s.isWritingKeynoteNotes && !s.isManagingProjects;
    c.deleteEnabled = c.enabled && s.canDeleteActiveProject;
    return c;
}

QString jumpTitle(std::optional<qint64> slide)
{
    return slide ? QStringLiteral("跳到第 ") + QString::number(*slide) + QStringLiteral(" 页")
                 : QStringLiteral("当前段未映射");
}

KeynoteControls keynoteControls(const PresentationPanelSnapshot& s)
{
    KeynoteControls c;
    const bool verified = isDeckVerified(s);
    const bool gate = isOutputOffOrLive(s.state);
    if (!s.keynote.isReady() || !s.deck)
        c.status = {s.keynote.title(), s.keynote.detail(),
                    s.keynote.isReady() ? PanelTint::green : PanelTint::secondary};
    else if (verified)
        c.status = {s.keynote.title() + QStringLiteral(" · 文档一致"),
                    QStringLiteral("实际播放文档名称/路径及总页数与绑定的 .key 文稿一致。"), PanelTint::green};
    else
        c.status = {QStringLiteral("Keynote 文档或页数与绑定的 .key 文稿不一致"),
                    QStringLiteral("当前映射不能作为现场自动同步依据；请打开对应文档后重新检测。"), PanelTint::red};

    c.refreshEnabled = s.keynote.kind != KeynoteConnectionState::Kind::checking && gate && !s.isImportingDeck;
    c.jump.title = jumpTitle(s.mappedSlide);
    c.jump.enabled = gate && !s.isImportingDeck && s.mappedSlide && verified;
    c.jump.toolTip = verified ? QStringLiteral("把 Keynote 前台文稿定位到当前稿件段落的映射页。")
                              : QStringLiteral("请先检测 Keynote，并确认它与绑定的 .key 文稿一致。");
    const bool playing = s.keynote.isReady() && s.keynote.isPlaying;
    c.playback.title = playing ? QStringLiteral("停止放映") : QStringLiteral("开始放映");
    c.playback.enabled = s.keynote.isReady() && gate;
    return c;
}

NotesControls notesControls(const PresentationPanelSnapshot& s, const std::optional<PanelNotesResult>& pending)
{
    NotesControls c;
    c.statusChanges = !s.isWritingKeynoteNotes;
    if (!s.keynote.isReady()) {
        c.replace.title = s.isWritingKeynoteNotes ? QStringLiteral("正在替换…") : QStringLiteral("替换 Keynote 注释");
        c.status = {QStringLiteral("Keynote 注释：请先检测 Keynote"),
                    QStringLiteral("请先打开 Keynote 文稿并点击“检测 Keynote”。"), PanelTint::secondary};
        c.replace.toolTip = c.status.toolTip;
    } else {
        const bool verified = isDeckVerified(s);
        const bool canReplace = isOutputOffOrLive(s.state) && !s.isWritingKeynoteNotes && !s.keynote.isPlaying
            && verified && s.anyMappedSection;
        const bool matches = backupMatches(s);
        c.replace.title = s.isWritingKeynoteNotes ? QStringLiteral("正在替换…") : QStringLiteral("替换 Keynote 注释");
        c.replace.enabled = canReplace;
        c.restoreEnabled = canReplace && matches;
        if (s.keynote.isPlaying)
            c.status = {QStringLiteral("Keynote 注释：停止放映后可修改"), QStringLiteral("请先停止 Keynote 放映，再修改注释。"),
                        PanelTint::secondary};
        else if (!verified)
            c.status = {QStringLiteral("Keynote 注释：.key 文稿与 Keynote 不一致"),
                        QStringLiteral("当前 Keynote 与绑定的 .key 文稿不一致。"), PanelTint::secondary};
        else if (!s.anyMappedSection)
            c.status = {QStringLiteral("Keynote 注释：没有可写入的数字块"),
                        QStringLiteral("当前稿件没有对应 Keynote 页的数字块。"), PanelTint::secondary};
        else if (matches)
            c.status = {QStringLiteral("Keynote 注释：可替换，也可恢复备份"), {}, PanelTint::secondary};
        else
            c.status = {QStringLiteral("Keynote 注释：可替换"), {}, PanelTint::secondary};
        c.replace.toolTip = c.status.toolTip;
    }
    // An outcome stays readable until something newer happens.
    if (c.statusChanges && pending) {
        c.status.text = pending->message;
        c.status.tint = pending->isError ? PanelTint::red : PanelTint::green;
    }
    return c;
}

PrivacyOutputControls privacyOutputControls(const PresentationPanelSnapshot& s)
{
    PrivacyOutputControls c;
    const bool showsStart = isOutputOff(s.state) || s.state.isSafeStopped();
    if (showsStart) {
        const bool safeStopped = s.state.isSafeStopped();
        c.button = {safeStopped ? QStringLiteral("重新尝试隐私输出") : QStringLiteral("启动隐私输出"),
                    s.selectedDisplayID.has_value(), safeStopped ? PanelTint::orange : PanelTint::blue, {}};
        c.audiencePopupEnabled = s.displays.size() > 1;
    } else {
        c.button = {QStringLiteral("关闭隐私输出"), true, PanelTint::red, {}};
    }
    c.appSharingEnabled = isOutputOff(s.state);
    return c;
}

AutomationControls automationControls(const PresentationPanelSnapshot& s)
{
    AutomationControls c;
    const auto it = std::find(allPromptModes.begin(), allPromptModes.end(), s.mode);
    c.modeIndex = int(it - allPromptModes.begin());
    const bool allowed = canRunAutomation(s.state, s.keynote) && s.hasContent;
    using Speech = PanelSpeechStatus::Kind;
    if (s.mode == PromptMode::fixedScroll) {
        c.autoScroll = {s.autoScrollRunning ? QStringLiteral("暂停滚动") : QStringLiteral("开始滚动"), allowed,
                        PanelTint::none, {}};
        c.slowerEnabled = allowed && s.canDecreaseSpeed;
        c.fasterEnabled = allowed && s.canIncreaseSpeed;
        c.questionPauseEnabled = false;
        c.status = {QStringLiteral("固定滚动 · ") + s.speedText, QStringLiteral("不使用麦克风。"), PanelTint::secondary};
    } else {
        const bool running = s.speech.kind == Speech::listening || s.speech.kind == Speech::questionPaused;
        c.autoScroll = {running ? QStringLiteral("停止语音") : QStringLiteral("开始语音"), allowed, PanelTint::none, {}};
        switch (s.speech.kind) {
        case Speech::degraded:
            c.questionPauseTitle = QStringLiteral("恢复语音");
            c.questionPauseEnabled = allowed;
            break;
        case Speech::questionPaused:
            c.questionPauseTitle = QStringLiteral("继续跟读");
            c.questionPauseEnabled = allowed;
            break;
        case Speech::listening:
            c.questionPauseTitle = QStringLiteral("问答暂停");
            c.questionPauseEnabled = true;
            break;
        default:
            c.questionPauseTitle = QStringLiteral("问答暂停");
            c.questionPauseEnabled = false;
            break;
        }
        c.status = {s.speech.title, s.speech.detail, PanelTint::secondary};
    }
    c.audioSetupEnabled = isOutputOff(s.state);
    return c;
}

SyncControls syncControls(const PresentationPanelSnapshot& s)
{
    SyncControls c;
    const bool canRun = canRunAutomation(s.state, s.keynote);
    c.status = {s.syncStatus.title(), s.syncStatus.detail(), PanelTint::none};
    c.toggle = {s.syncEnabled ? QStringLiteral("关闭双向同步") : QStringLiteral("启用双向同步"),
                isOutputOffOrLive(s.state), PanelTint::none, {}};
    switch (s.syncStatus.kind) {
    case PresentationSyncStatus::Kind::conflict: c.resumeEnabled = canRun; break;
    case PresentationSyncStatus::Kind::suspended: c.resumeEnabled = canRun && s.syncEnabled; break;
    default: c.resumeEnabled = false; break;
    }
    c.buildEnabled = s.keynote.isReady() && s.keynote.isPlaying && canRun;
    return c;
}

PanelButton audiencePreviewButton(const PresentationPanelSnapshot& s)
{
    const bool canPreview = s.state.allowsAudiencePreview() && s.selectedDisplayID.has_value();
    return {s.isAudiencePreviewVisible ? QStringLiteral("关闭预览") : QStringLiteral("外屏预览"), canPreview,
            s.isAudiencePreviewVisible ? PanelTint::orange : PanelTint::none,
            canPreview ? QStringLiteral("在内屏打开一个可拖动、可缩放的所选外屏只读预览。")
                       : QStringLiteral("隐私输出启动后禁用；请先关闭隐私输出并选择观众外屏。")};
}

AudienceDisplayPopup audienceDisplayPopup(const PresentationPanelSnapshot& s)
{
    AudienceDisplayPopup p;
    if (s.displays.empty()) {
        p.items.push_back({QStringLiteral("未连接外屏"), std::nullopt});
        // The lone item is what the pop-up shows; with none chosen it would read blank.
        p.selectedIndex = 0;
        p.forceDisabled = true;
        return p;
    }
    for (const auto& display : s.displays)
        p.items.push_back({QStringLiteral("观众：") + display.name, display.stableKey});
    if (s.selectedDisplayID) {
        const auto it = std::find_if(s.displays.begin(), s.displays.end(),
                                     [&](const auto& d) { return d.id == *s.selectedDisplayID; });
        if (it != s.displays.end()) {
            p.selectedIndex = std::size_t(it - s.displays.begin());
            return p;
        }
    }
    p.placeholderTitle = QStringLiteral("请选择观众外屏");
    p.toolTip = QStringLiteral("请选择本次演讲的观众外屏。");
    return p;
}

DeckControls deckControls(const PresentationPanelSnapshot& s)
{
    DeckControls c;
    c.statusText = s.isImportingDeck ? QStringLiteral("正在打开 .key 文稿并读取页数…") : s.deckStatusText;
    c.importButton.title = s.isImportingDeck ? QStringLiteral("正在导入…") : QStringLiteral("导入 .key 文稿");
    c.importButton.enabled =
        isOutputOff(s.state) && !s.isImportingDeck && !s.isWritingKeynoteNotes && !s.isManagingProjects;
    return c;
}

PanelButton appSharingButton(bool enabled)
{
    return {enabled ? QStringLiteral("恢复隐私保护") : QStringLiteral("允许共享"), true,
            enabled ? PanelTint::orange : PanelTint::none, {}};
}

} // namespace quorvia::presentation_panel
