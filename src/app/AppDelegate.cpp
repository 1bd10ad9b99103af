#include "app/AppDelegate.h"

#include "app/AppCoordinator.h"
#include "app/CommandDialogs.h"
#include "platform/settings/DefaultsStore.h"
#include "platform/Platform.h"

#include <cstdio>

namespace quorvia {

AppDelegate::AppDelegate(platform::ApplicationShell& shell) : shell_(shell)
{
    shell_.shouldTerminate = [this](platform::QuitRequest request) { return applicationShouldTerminate(request); };
    shell_.onReopen = [this] { applicationShouldHandleReopen(false); };
}

AppDelegate::~AppDelegate()
{
    shell_.shouldTerminate = nullptr;
    shell_.onReopen = nullptr;
    platform::current().defaults().onWriteFailure = nullptr;
}

void AppDelegate::applicationDidFinishLaunching()
{
    coordinator_ = std::make_unique<AppCoordinator>();
    coordinator_->start();
    // Files of the store were found damaged at this start and set aside; the
    // next start finds them aside already, so this is said once. It names
    // paths under the home folder: it waits, like every alert, while the
    // private windows are held hidden.
    const platform::DefaultsStoreDamage damage = platform::current().defaults().damageFound();
    if (!damage.isEmpty())
        platform::MainQueue::async([weak = std::weak_ptr<AppDelegate*>(life_), damage] {
            if (const auto life = weak.lock())
                (*life)->coordinator_->alertRunner().acknowledge(platform::AlertStyle::warning, damagedStoreMessage,
                                                                 damagedStoreDetail(damage));
        });
    platform::current().defaults().onWriteFailure = [this](const platform::DefaultsWriteFailure& failure) {
        if (coordinator_)
            coordinator_->alertRunner().acknowledge(platform::AlertStyle::warning, writeFailureMessage, writeFailureDetail(failure));
    };
}

QString AppDelegate::damagedStoreDetail(const platform::DefaultsStoreDamage& damage)
{
    using Index = platform::DefaultsStoreDamage::Index;
    QStringList parts;
    if (damage.index == Index::restoredFromCopy)
        parts.append(QStringLiteral("设置的索引文件已损坏或丢失，已从保存在旁边的副本完整恢复。"));
    else if (damage.index == Index::lost && !damage.recovered.isEmpty())
        parts.append(QStringLiteral("设置的索引文件及其副本都已损坏或丢失：演讲项目等较大的数据已从各自的数据文件恢复，其他设置已恢复为默认值。"));
    else if (damage.index == Index::lost)
        parts.append(QStringLiteral("设置的索引文件及其副本都已损坏或丢失，设置已恢复为默认值。"));
    else if (!damage.recovered.isEmpty())
        parts.append(QStringLiteral("部分数据文件已不在索引记录的位置，已根据数据文件本身找回。"));
    if (!damage.setAside.isEmpty())
        parts.append(QStringLiteral("以下无法读取的文件没有删除，已原样保留：\n%1").arg(damage.setAside.join(u'\n')));
    if (!damage.unaccounted.isEmpty())
        parts.append(QStringLiteral("以下数据文件无法确定属于哪项设置，没有删除，已原样保留：\n%1").arg(damage.unaccounted.join(u'\n')));
    if (!damage.missing.isEmpty())
        parts.append(QStringLiteral("以下文件已不在原处，其中保存的数据无法读取：\n%1").arg(damage.missing.join(u'\n')));
    if (!damage.setAside.isEmpty() || !damage.unaccounted.isEmpty())
        parts.append(QStringLiteral("保留的文件不会被覆盖。"));
    if (damage.index != Index::lost)
        parts.append(QStringLiteral("其余设置照常使用。"));
    return parts.join(u'\n');
}

QString AppDelegate::writeFailureDetail(const platform::DefaultsWriteFailure& failure)
{
    return QStringLiteral("无法写入文件夹 %1：%2。\n本次的修改暂时只在内存中，Quorvia 会继续尝试保存；在问题解决之前退出，这些修改将会丢失。")
        .arg(failure.folder, failure.reason);
}

QString AppDelegate::quitWriteFailureDetail(const platform::DefaultsWriteFailure& failure)
{
    return QStringLiteral("退出前无法写入文件夹 %1：%2。\n本次运行中尚未保存的修改已经丢失。")
        .arg(failure.folder, failure.reason);
}

bool AppDelegate::applicationShouldHandleReopen(bool)
{
    if (coordinator_)
        coordinator_->restorePrimaryWindowAfterReopen();
    return true;
}

platform::TerminateReply AppDelegate::applicationShouldTerminate(platform::QuitRequest request)
{
    if (isTerminationPending_) {
        if (request == platform::QuitRequest::speaker)
            return platform::TerminateReply::later;
        // A logout asks during the speaker's quit: it waits for no click. The
        // quit's last alert shows no more, and one already up ends with the
        // process; otherwise the fallback still ends the quit in time.
        alertAllowedAtQuit_ = false;
        return terminationReplySent_ ? platform::TerminateReply::now : platform::TerminateReply::later;
    }
    if (!coordinator_)
        return platform::TerminateReply::now;
    isTerminationPending_ = true;
    terminationRequestedAt_ = platform::uptime();
    // The shutdown hides every private window; an alert at the end may show
    // only where one could have shown before it, and only to a speaker who
    // asked for the quit: a logout or a shutdown waits for no click.
    const auto& holding = coordinator_->alertRunner().isHoldingWindows;
    alertAllowedAtQuit_ = request == platform::QuitRequest::speaker && (!holding || !holding());

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

double AppDelegate::terminationDeadline() const
{
    return (isTerminationPending_ ? terminationRequestedAt_ : platform::uptime()) + terminationFallbackDelay;
}

void AppDelegate::replyToTerminationOnce()
{
    if (terminationReplySent_)
        return;
    terminationReplySent_ = true;
    // Whatever is still in memory goes to disk now; when it cannot, the speaker
    // hears it before the application ends.
    platform::DefaultsStore& defaults = platform::current().defaults();
    defaults.onWriteFailure = nullptr;
    if (const auto failure = defaults.flush()) {
        std::fprintf(stderr, "%s\n", qPrintable(QStringLiteral("Quorvia：%1").arg(quitWriteFailureDetail(*failure))));
        quitWriteFailureSaid_ = true;
        if (coordinator_ && alertAllowedAtQuit_)
            CommandDialogs::acknowledge(platform::AlertStyle::warning, writeFailureMessage, quitWriteFailureDetail(*failure));
    }
    shell_.replyToTermination(true);
}

} // namespace quorvia
