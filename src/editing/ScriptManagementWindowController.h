#pragma once

#include "platform/core/NotificationCenter.h"
#include "platform/desktop/Window.h"

#include <QPointer>

#include <functional>
#include <memory>

class QLabel;
class QPushButton;

namespace quorvia {

class PromptScript;

// The small window that manages the whole timeline of the active project.
// It changes nothing itself: each button raises a callback for the owner.
class ScriptManagementWindowController {
public:
    explicit ScriptManagementWindowController(PromptScript& script);
    ~ScriptManagementWindowController();
    ScriptManagementWindowController(const ScriptManagementWindowController&) = delete;
    ScriptManagementWindowController& operator=(const ScriptManagementWindowController&) = delete;

    // Refreshes, centres on the built-in screen and shows; stays hidden
    // without a built-in screen.
    void present();
    void positionOnBuiltInScreen();

    std::function<void()> onImport;
    std::function<void()> onDelete;
    std::function<void()> onAddDemo;
    std::function<void()> onUploadDemo;

    platform::Window* window() const { return window_.get(); }
    QLabel* statusLabel() const { return statusLabel_; }
    QPushButton* importButton() const { return importButton_; }
    QPushButton* deleteButton() const { return deleteButton_; }
    QPushButton* addDemoButton() const { return addDemoButton_; }
    QPushButton* uploadDemoButton() const { return uploadDemoButton_; }

private:
    QWidget* makeContentView();
    void updateControls();

    PromptScript& script_;
    std::unique_ptr<platform::Window> window_;
    QPointer<QLabel> statusLabel_;
    QPointer<QPushButton> importButton_;
    QPointer<QPushButton> deleteButton_;
    QPointer<QPushButton> addDemoButton_;
    QPointer<QPushButton> uploadDemoButton_;
    platform::Observation scriptObserver_;
};

} // namespace quorvia
