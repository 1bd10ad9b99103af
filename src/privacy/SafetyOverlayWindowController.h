#pragma once

#include "platform/system/ProcessService.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QObject;
class QWidget;

namespace quorvia {

namespace platform {
class Panel;
}
class IslandButton;

// The black mask over the built-in screen while displays are mirrored. It
// shows why it is up and offers four ways out; it decides nothing itself.
class SafetyOverlayWindowController {
public:
    SafetyOverlayWindowController();
    ~SafetyOverlayWindowController();
    SafetyOverlayWindowController(const SafetyOverlayWindowController&) = delete;
    SafetyOverlayWindowController& operator=(const SafetyOverlayWindowController&) = delete;

    // Builds the mask's window, hidden, unless it is built already. It is
    // left out of start-up until the island is on screen; whatever needs it
    // sooner builds it then.
    void prepareWindow();
    bool isWindowBuilt() const { return panel_ != nullptr; }

    // Without a built-in screen nothing shows: the mask never goes elsewhere.
    // It waits for one instead, until hidden.
    void show(const QString& reason);
    void hide();
    // Shows the mask that waited, now that a built-in screen may be there.
    void showIfWaiting();
    // After a change of the displays a shown mask covers the speaker's screen
    // as it now stands, above every window of ours, and waits while there is none.
    void followSpeakersScreen();
    // The reason the mask states, shown or waiting; empty when it is down.
    QString reason() const;
    // Changes what a shown or waiting mask states, and shows nothing.
    void setReason(const QString& reason);

    // When no display settings open, the reason line says so.
    void openDisplays();
    static QString displaySettingsUnavailableMessage();
    void retryPressed();
    void stopPressed();
    void temporaryExitPressed();

    std::function<void()> onRetry;
    std::function<void()> onStopAndReturn;
    std::function<void()> onTemporaryExit;

    platform::Panel& window();
    QLabel& reasonLabel();
    bool isShown() const;
    bool holdsActivity() const { return activity_.has_value(); }

private:
    void buildWindow();
    QWidget* makeContentView();
    IslandButton* button(const QString& title, void (SafetyOverlayWindowController::*action)());
    void keepAboveWindowsShownLater();

    std::unique_ptr<platform::Panel> panel_;
    QLabel* reasonLabel_ = nullptr;
    QString reason_;
    std::optional<platform::ActivityToken> activity_;
    std::optional<QString> waitingReason_;
    // Tells an answer about the display settings that the mask outlived from
    // one for the reason it still shows.
    std::shared_ptr<quint64> shows_ = std::make_shared<quint64>(0);
    // While the mask is up, any window of ours that opens goes beneath it.
    std::unique_ptr<QObject> keepAbove_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace quorvia
