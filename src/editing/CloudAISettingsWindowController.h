#pragma once

#include "platform/desktop/Window.h"

#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;

namespace quorvia {

class CloudAISettings;

// The small form where the speaker sets the cloud matching endpoint, model
// and token. It reads and writes only through the settings.
class CloudAISettingsWindowController {
public:
    static inline const QString endpointPlaceholder = QStringLiteral("https://example.invalid/match");

    explicit CloudAISettingsWindowController(CloudAISettings& settings);
    ~CloudAISettingsWindowController();
    CloudAISettingsWindowController(const CloudAISettingsWindowController&) = delete;
    CloudAISettingsWindowController& operator=(const CloudAISettingsWindowController&) = delete;

    // Refills the form from the stored values and shows it; stays hidden
    // without a built-in screen.
    void present();
    void positionOnBuiltInScreen();
    void cancelPressed();
    void savePressed();

    platform::Window* window() const { return window_.get(); }
    QLineEdit* endpointField() const { return endpointField_; }
    QLineEdit* modelField() const { return modelField_; }
    QLineEdit* tokenField() const { return tokenField_; }
    QLabel* statusLabel() const { return statusLabel_; }
    QPushButton* saveButton() const { return saveButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }

private:
    QWidget* makeContentView();
    QWidget* labeledRow(const QString& title, QLineEdit* field);

    CloudAISettings& settings_;
    std::unique_ptr<platform::Window> window_;
    QLineEdit* endpointField_ = nullptr;
    QLineEdit* modelField_ = nullptr;
    QLineEdit* tokenField_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QPushButton* saveButton_ = nullptr;
};

} // namespace quorvia
