#pragma once

#include "platform/dialogs/DialogService.h"

#include <deque>
#include <vector>

namespace quorvia::test {

// Answers alerts and choosers from queues the test fills, and records every
// request. An alert or chooser with no queued answer fails the test and is
// answered as cancelled. Chooser answers arrive on a later main-queue turn.
class FakeDialogService final : public platform::DialogService {
public:
    struct Panel {
        platform::FileDialogRequest request;
        bool saving = false;
    };

    platform::AlertResponse runAlert(const platform::AlertRequest& request) override;
    void beginOpenPanel(const platform::FileDialogRequest& request, FileCompletion completion) override;
    void beginSavePanel(const platform::FileDialogRequest& request, FileCompletion completion) override;
    bool isPresenting() const override { return presenting; }
    bool isFilePanelKey() const override { return filePanelKey; }

    // Queue answers in the order the dialogs will come.
    void answerAlert(int buttonIndex, const QString& text = {}) { alertAnswers.push_back({buttonIndex, text}); }
    void answerPanel(std::optional<QString> path) { panelAnswers.push_back(std::move(path)); }

    // The message texts of the alerts shown so far.
    std::vector<QString> alertMessages() const;

    std::deque<platform::AlertResponse> alertAnswers;
    std::deque<std::optional<QString>> panelAnswers;
    std::vector<platform::AlertRequest> alerts;
    std::vector<Panel> panels;
    bool presenting = false;
    bool filePanelKey = false;
    // Runs while an alert is up, before it is answered.
    std::function<void(const platform::AlertRequest&)> onAlert;

private:
    void beginPanel(const platform::FileDialogRequest& request, bool saving, FileCompletion completion);
};

} // namespace quorvia::test
