#pragma once

#include "platform/DialogService.h"

#include <QDialog>
#include <QPointer>

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

private:
    void beginPanel(const FileDialogRequest& request, bool saving, FileCompletion completion);
    // Saving onto an existing package: asks before it is replaced.
    bool confirmReplace(const QString& path);

    std::vector<QPointer<QDialog>> open_;
};

} // namespace quorvia::platform::native
