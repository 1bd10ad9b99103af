#pragma once

#include "platform/DialogService.h"

namespace quorvia::platform::native {

// Alerts as a small dialog of ours that keeps the requested button order;
// file choosers as Qt's own (not the desktop's) file dialog, window-modal on
// their parent.
class QtDialogService final : public DialogService {
public:
    AlertResponse runAlert(const AlertRequest& request) override;
    void beginOpenPanel(const FileDialogRequest& request, FileCompletion completion) override;
    void beginSavePanel(const FileDialogRequest& request, FileCompletion completion) override;
    bool isPresenting() const override { return presenting_ > 0; }
    bool isFilePanelKey() const override;

private:
    void beginPanel(const FileDialogRequest& request, bool saving, FileCompletion completion);

    int presenting_ = 0;
};

} // namespace quorvia::platform::native
