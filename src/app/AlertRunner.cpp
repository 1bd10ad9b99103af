#include "app/AlertRunner.h"

#include "app/CommandDialogs.h"
#include "platform/core/MainQueue.h"

namespace quorvia {

void AlertRunner::acknowledge(platform::AlertStyle style, const QString& message, const QString& informative)
{
    // Behind one that waits or stands, so outcomes keep their order.
    if (holding() || !waiting_.empty() || presenting_) {
        waiting_.push_back({style, message, informative});
        return;
    }
    present({style, message, informative});
}

void AlertRunner::present(const Waiting& alert)
{
    platform::AlertRequest request;
    request.style = alert.style;
    request.messageText = alert.message;
    request.informativeText = alert.informative;
    request.buttons = {CommandDialogs::acknowledgeTitle};
    std::weak_ptr<AlertRunner*> weak = life_;
    presenting_ = true;
    const auto response = CommandDialogs::run(request);
    // The runner may be gone once the modal alert returns.
    auto life = weak.lock();
    if (!life)
        return;
    presenting_ = false;
    // Ended unread while the private windows are held: it shows again with them.
    if (response.buttonIndex < 0 && holding())
        waiting_.push_front(alert);
    // Those that came while it stood (through a hide and a restore too) follow it.
    windowsReturned();
}

void AlertRunner::windowsReturned()
{
    if (waiting_.empty() || scheduled_)
        return;
    scheduled_ = true;
    std::weak_ptr<AlertRunner*> weak = life_;
    platform::MainQueue::async([weak] {
        if (auto life = weak.lock())
            (*life)->showNext();
    });
}

void AlertRunner::showNext()
{
    scheduled_ = false;
    // One that stands calls for the next once answered.
    if (waiting_.empty() || holding() || presenting_)
        return;
    const Waiting next = waiting_.front();
    waiting_.pop_front();
    present(next);
}

} // namespace quorvia
