#pragma once

#include "platform/core/NotificationCenter.h"
#include "platform/desktop/Window.h"

#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;

namespace quorvia {

class AudioDeviceController;
struct AudioSetupState;

// The private window where the speaker picks the microphone and the system
// output, plays the test tone and confirms that the room heard it.
class AudioSetupWindowController {
public:
    // What the window uses of speech automation; the owner connects it.
    struct Automation {
        // The status's title and detail.
        std::function<std::pair<QString, QString>()> status;
        std::function<bool()> hasVerifiedOutputRoute;
        std::function<void(bool)> setOutputRouteVerified;
        std::function<void()> audioRouteChanged;
    };

    AudioSetupWindowController(AudioDeviceController& devices, Automation automation);
    ~AudioSetupWindowController();
    AudioSetupWindowController(const AudioSetupWindowController&) = delete;
    AudioSetupWindowController& operator=(const AudioSetupWindowController&) = delete;

    // Refreshes the devices (a change found is reported as the coordinator's
    // check reports one), fills, centres on the built-in screen and shows;
    // stays hidden without a built-in screen.
    void present();
    void positionOnBuiltInScreen();

    void inputChanged();
    void outputChanged();
    void playTestTone();
    void confirmOutputRoute();
    void closePressed();

    platform::Window* window() const { return window_.get(); }
    QComboBox* inputPopup() const { return inputPopup_; }
    QComboBox* outputPopup() const { return outputPopup_; }
    QLabel* routeLabel() const { return routeLabel_; }
    QLabel* statusLabel() const { return statusLabel_; }
    QPushButton* testToneButton() const { return testToneButton_; }
    QPushButton* confirmButton() const { return confirmButton_; }
    QPushButton* closeButton() const { return closeButton_; }

private:
    QWidget* makeContentView();
    void reload();
    void apply(const AudioSetupState& state);
    void setStatus(const QString& text);
    // At least 620 x 350 inside, and as large as the content needs.
    void fitToContent();

    AudioDeviceController& devices_;
    Automation automation_;
    std::unique_ptr<platform::Window> window_;
    QPointer<QComboBox> inputPopup_;
    QPointer<QComboBox> outputPopup_;
    QPointer<QLabel> statusLabel_;
    QPointer<QLabel> routeLabel_;
    QPointer<QPushButton> testToneButton_;
    QPointer<QPushButton> confirmButton_;
    QPointer<QPushButton> closeButton_;
    std::vector<platform::Observation> observers_;
    std::shared_ptr<AudioSetupWindowController*> life_;
};

} // namespace quorvia
