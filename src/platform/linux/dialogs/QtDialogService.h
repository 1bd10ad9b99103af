#pragma once

#include "platform/dialogs/DialogService.h"

#include <QDialog>
#include <QPointer>

#include <functional>
#include <memory>
#include <vector>

namespace quorvia::platform::native {

// Alerts as a small dialog of ours that keeps the requested button order;
// file choosers as Qt's own (not the desktop's) file dialog, window-modal on
// their parent, starting in the last folder used for the same kind of file
// (the home folder at first).
class QtDialogService final : public DialogService {
public:
    AlertResponse runAlert(const AlertRequest& request) override;
    void beginOpenPanel(const FileDialogRequest& request, FileCompletion completion) override;
    void beginSavePanel(const FileDialogRequest& request, FileCompletion completion) override;
    // A dialog hidden with the private windows is not up until it returns.
    bool isPresenting() const override;
    bool isFilePanelKey() const override;

    // Whether a remembered folder is still a folder. It may lie on a share
    // that stopped answering, where asking blocks for minutes, so it is asked
    // off the main thread, and a chooser waits for the answer only this long
    // before it starts in the home folder instead.
    std::function<bool(const QString& path)> checkFolder;
    double folderCheckSeconds = 0.5;

private:
    void beginPanel(const FileDialogRequest& request, bool saving, FileCompletion completion);
    void openPanel(const FileDialogRequest& request, bool saving, FileCompletion completion, const QString& folder);
    // Saving onto an existing package: asks before it is replaced.
    bool confirmReplace(const QString& path);

    std::vector<QPointer<QDialog>> open_;
    // Answers that arrive after the service has gone are dropped.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace quorvia::platform::native
