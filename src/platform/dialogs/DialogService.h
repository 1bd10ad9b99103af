#pragma once

#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace quorvia::platform {

class Window;

enum class AlertStyle { informational, warning };

// A modal alert. Buttons keep the given order: the first is the default
// button, drawn at the trailing end, and the others follow it leftwards.
struct AlertRequest {
    struct TextField {
        QString initialValue;
        QString placeholder;
        double width = 260;
        bool selectsAll = false;
    };

    AlertStyle style = AlertStyle::informational;
    QString messageText;
    QString informativeText;
    std::vector<QString> buttons;
    // Shown under the texts when set.
    std::optional<TextField> textField;
};

struct AlertResponse {
    // Index into the request's buttons; -1 when the alert was dismissed.
    int buttonIndex = -1;
    // The text field's contents, untrimmed.
    QString text;

    bool isFirstButton() const { return buttonIndex == 0; }
};

// An open or save chooser, run as a sheet on a parent window when one is given.
struct FileDialogRequest {
    QString title;
    QString message;
    // The confirming button's title.
    QString prompt;
    bool canChooseFiles = true;
    bool canChooseDirectories = false;
    bool allowsMultipleSelection = false;
    // Extensions without the dot; empty allows every file.
    std::vector<QString> allowedExtensions;
    // Save only.
    QString suggestedName;
    bool isExtensionHidden = false;
    // Save only: why an item already at the chosen path may not be written
    // over, or nothing when it may. A refusal is said in the chooser, before
    // any question to replace the item, and the chooser stays for another name.
    std::function<std::optional<QString>(const QString& path)> refuseReplacing;
    Window* parent = nullptr;
};

// Alerts and file choosers. Main thread only.
class DialogService {
public:
    using FileCompletion = std::function<void(std::optional<QString> path)>;

    virtual ~DialogService() = default;

    // Runs until answered.
    virtual AlertResponse runAlert(const AlertRequest& request) = 0;
    // The completion runs on a later turn of the main queue with the chosen
    // path, or none when the chooser was cancelled.
    virtual void beginOpenPanel(const FileDialogRequest& request, FileCompletion completion) = 0;
    virtual void beginSavePanel(const FileDialogRequest& request, FileCompletion completion) = 0;

    // Whether an alert or chooser of ours is up now.
    virtual bool isPresenting() const = 0;
    // Whether the focused top-level window is one of our file choosers.
    virtual bool isFilePanelKey() const = 0;
};

} // namespace quorvia::platform
