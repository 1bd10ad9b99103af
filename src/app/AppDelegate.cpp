#include "app/AppDelegate.h"

#include "app/AppCoordinator.h"

namespace quorvia {

AppDelegate::AppDelegate(platform::ApplicationShell& shell) : shell_(shell)
{
    shell_.shouldTerminate = [this] { return applicationShouldTerminate(); };
    shell_.onReopen = [this] { applicationShouldHandleReopen(false); };
}

AppDelegate::~AppDelegate()
{
    shell_.shouldTerminate = nullptr;
    shell_.onReopen = nullptr;
}

void AppDelegate::applicationDidFinishLaunching()
{
    coordinator_ = std::make_unique<AppCoordinator>();
    coordinator_->start();
}

bool AppDelegate::applicationShouldHandleReopen(bool)
{
    if (coordinator_)
        coordinator_->restorePrimaryWindowAfterReopen();
    return true;
}

platform::TerminateReply AppDelegate::applicationShouldTerminate()
{
    if (isTerminationPending_)
        return platform::TerminateReply::later;
    if (!coordinator_)
        return platform::TerminateReply::now;
    isTerminationPending_ = true;

    const std::weak_ptr<AppDelegate*> weak = life_;
    terminationFallback_ = platform::MainQueue::asyncAfter(terminationFallbackDelay, [weak] {
        if (const auto life = weak.lock())
            (*life)->replyToTerminationOnce();
    });
    coordinator_->shutdown([weak] {
        platform::MainQueue::asyncAfter(terminationReplyDelay, [weak] {
            const auto life = weak.lock();
            if (!life)
                return;
            AppDelegate& self = **life;
            self.terminationFallback_.cancel();
            self.terminationFallback_ = {};
            self.replyToTerminationOnce();
        });
    });
    return platform::TerminateReply::later;
}

void AppDelegate::replyToTerminationOnce()
{
    if (terminationReplySent_)
        return;
    terminationReplySent_ = true;
    shell_.replyToTermination(true);
}

} // namespace quorvia
