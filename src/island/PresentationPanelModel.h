#pragma once

#include "keynote/KeynoteConnectionState.h"
#include "keynote/KeynoteDocumentIdentity.h"
#include "keynote/PresentationSyncStatus.h"
#include "model/KeynotePresenterNotesBackup.h"
#include "model/PresentationDeck.h"
#include "model/PresentationProjectSummary.h"
#include "model/PromptMode.h"
#include "privacy/ExternalDisplayDescriptor.h"
#include "privacy/PresentationSafetyState.h"

#include <QString>
#include <QUuid>

#include <optional>
#include <vector>

namespace quorvia {

// The speech automation's state as the panel reads it.
struct PanelSpeechStatus {
    enum class Kind { calibrating, listening, degraded, unavailable, calibrationRequired, ready, questionPaused };
    Kind kind = Kind::ready;
    QString title;
    QString detail;
};

// Everything the presentation panel's controls are computed from.
struct PresentationPanelSnapshot {
    PresentationSafetyState state;
    bool isImportingDeck = false;
    bool isWritingKeynoteNotes = false;
    bool isManagingProjects = false;
    bool isAppSharingEnabled = false;
    bool isAudiencePreviewVisible = false;

    QString positionText;
    bool hasContent = false;
    std::optional<qint64> mappedSlide; // of the current section
    bool anyMappedSection = false;
    std::vector<PresentationProjectSummary> projects;
    QUuid activeProjectID;
    bool canDeleteActiveProject = false;
    std::optional<PresentationDeck> deck;
    QString deckStatusText;
    std::optional<KeynotePresenterNotesBackup> notesBackup;
    PromptMode mode = PromptMode::wordFollow;

    KeynoteConnectionState keynote;
    std::optional<KeynoteDocumentIdentity> documentIdentity;

    bool autoScrollRunning = false;
    QString speedText;
    bool canDecreaseSpeed = false;
    bool canIncreaseSpeed = false;

    PanelSpeechStatus speech;

    PresentationSyncStatus syncStatus;
    bool syncEnabled = false;

    std::vector<ExternalDisplayDescriptor> displays;
    std::optional<platform::DisplayID> selectedDisplayID;

    bool canDecreaseFont = false;
    bool canIncreaseFont = false;
};

// Colours a panel text or button takes, by role.
enum class PanelTint { none, secondary, green, red, blue, orange };

struct PanelLabel {
    QString text;
    QString toolTip;
    PanelTint tint = PanelTint::none;
    friend bool operator==(const PanelLabel&, const PanelLabel&) = default;
};

struct PanelButton {
    QString title;
    bool enabled = false;
    PanelTint bezel = PanelTint::none;
    QString toolTip;
    friend bool operator==(const PanelButton&, const PanelButton&) = default;
};

struct PanelPopupItem {
    QString title;
    std::optional<QString> key; // the item's represented string
    friend bool operator==(const PanelPopupItem&, const PanelPopupItem&) = default;
};

// A presenter-notes or import outcome shown until something newer happens.
struct PanelNotesResult {
    QString message;
    bool isError = false;
};

// Pure decisions of the presentation panel: snapshot in, what each control shows out.
namespace presentation_panel {

bool isOutputOff(const PresentationSafetyState& state);
bool isOutputOffOrLive(const PresentationSafetyState& state);
bool canRunAutomation(const PresentationSafetyState& state, const KeynoteConnectionState& keynote);
bool isDeckVerified(const PresentationPanelSnapshot& s);
bool backupMatches(const PresentationPanelSnapshot& s);

struct ScriptControls {
    QString positionText;
    bool editEnabled = false;
    bool scriptManagementEnabled = false;
};
ScriptControls scriptControls(const PresentationPanelSnapshot& s);

struct ProjectControls {
    std::vector<PanelPopupItem> items;
    std::optional<std::size_t> selectedIndex;
    bool enabled = false; // the pop-up and every button but delete
    bool deleteEnabled = false;
};
QString projectItemTitle(const PresentationProjectSummary& summary);
ProjectControls projectControls(const PresentationPanelSnapshot& s);

struct KeynoteControls {
    PanelLabel status;
    bool refreshEnabled = false;
    PanelButton jump;
    PanelButton playback;
};
QString jumpTitle(std::optional<qint64> slide);
KeynoteControls keynoteControls(const PresentationPanelSnapshot& s);

struct NotesControls {
    PanelButton replace;      // tool tip meaningful only when statusChanges
    bool restoreEnabled = false;
    bool statusChanges = false; // false while a write runs: label and tool tips stay as they are
    PanelLabel status;
};
NotesControls notesControls(const PresentationPanelSnapshot& s, const std::optional<PanelNotesResult>& pending);

struct PrivacyOutputControls {
    PanelButton button;
    bool audiencePopupEnabled = false;
    bool appSharingEnabled = false;
};
PrivacyOutputControls privacyOutputControls(const PresentationPanelSnapshot& s);

struct AutomationControls {
    int modeIndex = 0;
    PanelButton autoScroll;
    bool slowerEnabled = false;
    bool fasterEnabled = false;
    std::optional<QString> questionPauseTitle; // none keeps the title
    bool questionPauseEnabled = false;
    PanelLabel status;
    bool audioSetupEnabled = false;
};
AutomationControls automationControls(const PresentationPanelSnapshot& s);

struct SyncControls {
    PanelLabel status;
    PanelButton toggle;
    bool resumeEnabled = false;
    bool buildEnabled = false;
};
SyncControls syncControls(const PresentationPanelSnapshot& s);

PanelButton audiencePreviewButton(const PresentationPanelSnapshot& s);

struct AudienceDisplayPopup {
    std::vector<PanelPopupItem> items;
    std::optional<std::size_t> selectedIndex;
    std::optional<QString> placeholderTitle; // shown when nothing is selected
    QString toolTip;
    bool forceDisabled = false; // no display at all
};
AudienceDisplayPopup audienceDisplayPopup(const PresentationPanelSnapshot& s);

struct DeckControls {
    QString statusText;
    PanelButton importButton;
};
DeckControls deckControls(const PresentationPanelSnapshot& s);

PanelButton appSharingButton(bool enabled);

} // namespace presentation_panel
} // namespace quorvia
