#pragma once

#include "platform/application/ApplicationShell.h"
#include "platform/settings/DefaultsStore.h"
#include "platform/core/MainQueue.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace quorvia {

class AppCoordinator;

// Creates the one coordinator once launching has finished, keeps the
// application alive without windows, and turns a quit request into one
// orderly shutdown with exactly one reply.
class AppDelegate {
public:
    static constexpr double terminationFallbackDelay = 3.0;
    static constexpr double terminationReplyDelay = 0.05;

    // Takes over the shell's quit and reopen steps.
    explicit AppDelegate(platform::ApplicationShell& shell);
    ~AppDelegate();
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    void applicationDidFinishLaunching();
    bool applicationShouldTerminateAfterLastWindowClosed() const { return false; }
    bool applicationShouldHandleReopen(bool hasVisibleWindows);
    platform::TerminateReply applicationShouldTerminate(platform::QuitRequest request);

    AppCoordinator* coordinator() const { return coordinator_.get(); }
    // When the process must have ended: the fallback's delay after the first
    // accepted quit request, or that long from now before any.
    double terminationDeadline() const;

    // Told at the start when the settings store found something wrong.
    static inline const QString damagedStoreMessage = QStringLiteral("部分已保存的数据无法读取");
    static QString damagedStoreDetail(const platform::DefaultsStoreDamage& damage);
    // Told when the settings store cannot write to disk, and at quit when the last write failed.
    static inline const QString writeFailureMessage = QStringLiteral("无法保存设置和演讲项目");
    static QString writeFailureDetail(const platform::DefaultsWriteFailure& failure);
    static QString quitWriteFailureDetail(const platform::DefaultsWriteFailure& failure);
    // Whether the quit already said on the error stream that its last write failed.
    bool quitWriteFailureSaid() const { return quitWriteFailureSaid_; }

private:
    void replyToTerminationOnce();

    platform::ApplicationShell& shell_;
    std::unique_ptr<AppCoordinator> coordinator_;
    bool isTerminationPending_ = false;
    double terminationRequestedAt_ = 0;
    platform::DelayedCall terminationFallback_;
    bool terminationReplySent_ = false;
    bool quitWriteFailureSaid_ = false;
    bool alertAllowedAtQuit_ = false;
    std::shared_ptr<AppDelegate*> life_ = std::make_shared<AppDelegate*>(this);
};

} // namespace quorvia
