#pragma once

#include "platform/desktop/Window.h"

#include <QUuid>

#include <memory>
#include <optional>

class QLineEdit;
class QPushButton;
class QTextEdit;

namespace quorvia {

class PromptScript;
class TextFindBar;

// The private window that edits one block of the active script: its label and
// its text. A save goes through the script, which validates, stores and
// announces it; the window itself observes nothing.
class ScriptEditorWindowController {
public:
    explicit ScriptEditorWindowController(PromptScript& script);
    ~ScriptEditorWindowController();
    ScriptEditorWindowController(const ScriptEditorWindowController&) = delete;
    ScriptEditorWindowController& operator=(const ScriptEditorWindowController&) = delete;

    // Loads the block (the current one when none is given) and shows the
    // window; does nothing when there is no such block, and leaves the window
    // hidden when there is no built-in screen.
    void present(std::optional<QUuid> blockID = std::nullopt);
    void positionOnBuiltInScreen();
    void cancelPressed();
    void savePressed();

    platform::Window* window() const { return window_.get(); }
    QLineEdit* labelField() const { return labelField_; }
    QTextEdit* textView() const { return textView_; }
    QPushButton* cancelButton() const { return cancelButton_; }
    QPushButton* saveButton() const { return saveButton_; }
    TextFindBar* findBar() const { return findBar_; }
    std::optional<QUuid> editingBlockID() const { return editingBlockID_; }

private:
    QWidget* makeContentView();
    void applyTextAppearance();
    // The text as the speaker left it, character for character.
    QString editedText() const;

    PromptScript& script_;
    std::unique_ptr<platform::Window> window_;
    QLineEdit* labelField_ = nullptr;
    QTextEdit* textView_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    TextFindBar* findBar_ = nullptr;
    std::optional<QUuid> editingBlockID_;
    // The block's text when presented, and the editor's own text of it.
    QString presentedText_;
    QString presentedRawText_;
};

} // namespace quorvia
