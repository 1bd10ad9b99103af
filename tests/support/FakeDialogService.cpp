#include "support/FakeDialogService.h"

#include "platform/core/MainQueue.h"

#include <gtest/gtest.h>

namespace quorvia::test {

platform::AlertResponse FakeDialogService::runAlert(const platform::AlertRequest& request)
{
    alerts.push_back(request);
    if (onAlert)
        onAlert(request);
    if (alertAnswers.empty()) {
        ADD_FAILURE() << "unexpected alert: " << request.messageText.toStdString();
        return {};
    }
    auto answer = alertAnswers.front();
    alertAnswers.pop_front();
    return answer;
}

void FakeDialogService::beginOpenPanel(const platform::FileDialogRequest& request, FileCompletion completion)
{
    beginPanel(request, false, std::move(completion));
}

void FakeDialogService::beginSavePanel(const platform::FileDialogRequest& request, FileCompletion completion)
{
    beginPanel(request, true, std::move(completion));
}

std::vector<QString> FakeDialogService::alertMessages() const
{
    std::vector<QString> messages;
    for (const auto& alert : alerts)
        messages.push_back(alert.messageText);
    return messages;
}

void FakeDialogService::beginPanel(const platform::FileDialogRequest& request, bool saving,
                                   FileCompletion completion)
{
    panels.push_back({request, saving});
    std::optional<QString> answer;
    if (panelAnswers.empty())
        ADD_FAILURE() << "unexpected file chooser: " << request.title.toStdString();
    else {
        answer = panelAnswers.front();
        panelAnswers.pop_front();
    }
    platform::MainQueue::async([completion = std::move(completion), answer] { completion(answer); });
}

} // namespace quorvia::test
