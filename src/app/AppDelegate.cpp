#include "app/AppDelegate.h"

#include "app/AppCoordinator.h"
#include "app/CommandDialogs.h"
#include "platform/DefaultsStore.h"
#include "platform/Platform.h"

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
    // Files of the store were found damaged at this start and set aside; the
    // next start finds them aside already, so this is said once.
    const QStringList setAside = platform::current().defaults().damagedFilesSetAside();
    if (!setAside.isEmpty())
        platform::MainQueue::async([setAside] {
            CommandDialogs::acknowledge(platform::AlertStyle::warning, damagedStoreMessage, damagedStoreDetail(setAside));
        });
}

QString AppDelegate::damagedStoreDetail(const QStringList& setAside)
{
    return QStringLiteral("以下已损坏的文件没有删除，已原样保留：\n%1\n无法读取的内容没有被覆盖；其余设置照常使用。")
        .arg(setAside.join(u'\n'));
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
