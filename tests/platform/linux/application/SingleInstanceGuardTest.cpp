#include "platform/files/ErrorDescription.h"
#include "platform/files/FileDescriptor.h"
#include "platform/linux/settings/SettingsDefaults.h"
#include "platform/linux/application/LinuxApplicationShell.h"
#include "platform/linux/application/SingleInstanceGuard.h"
#include "support/EventWait.h"
#include "support/QtPrinting.h"
#include "support/ReadOnlyFolder.h"
#include "support/TestPlatform.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <future>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>

using quorvia::platform::FileDescriptor;
using quorvia::platform::native::SettingsDefaults;
using quorvia::platform::native::SingleInstanceGuard;

// The lock is held and its holder listens but lets nobody in (stopped, or its
// backlog full): that is known from one try, and the launch gives up then,
// not after the patience meant for an instance that has not begun to listen.
TEST(SingleInstanceGuardTest, AnInstanceThatListensButLetsNobodyInIsKnownAtOnce)
{
    QTemporaryDir folder;
    const QByteArray lock = QFile::encodeName(folder.filePath(QStringLiteral("instance.lock")));
    const FileDescriptor held(::open(lock.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    ASSERT_EQ(::flock(held.get(), LOCK_EX | LOCK_NB), 0);

    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const QString name = folder.filePath(QStringLiteral("socket"));
    std::strncpy(address.sun_path, QFile::encodeName(name).constData(), sizeof address.sun_path - 1);
    const auto* raw = reinterpret_cast<const sockaddr*>(&address);
    const FileDescriptor listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    ASSERT_EQ(::bind(listener.get(), raw, sizeof address), 0);
    ASSERT_EQ(::listen(listener.get(), 0), 0);
    std::vector<FileDescriptor> crowd;
    for (int full = 0; full == 0;) {
        crowd.emplace_back(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        full = ::connect(crowd.back().get(), raw, sizeof address);
    }

    SingleInstanceGuard guard(name, {{QFile::decodeName(lock), QStringLiteral("%1")}});
    QElapsedTimer clock;
    clock.start();
    const SingleInstanceGuard::Claim claim = guard.claim();
    EXPECT_EQ(claim.outcome, SingleInstanceGuard::Outcome::refused);
    EXPECT_TRUE(claim.reason.contains(QStringLiteral("没有应答"))) << claim.reason.toStdString();
    EXPECT_LT(clock.elapsed(), SingleInstanceGuard::handOverPatienceMs / 2);
}

// A launch that began where its folder could not be written holds no lock.
// Once the folder can be written, its store writes nothing while a later
// launch holds the lock, and takes the lock itself before it writes.
TEST(SingleInstanceGuardTest, ALaunchThatBeganWithoutALockWritesOnlyHoldingIt)
{
    QTemporaryDir root;
    const QString folder = root.filePath(QStringLiteral("settings"));
    const QByteArray lock = QFile::encodeName(folder + QStringLiteral("/instance.lock"));
    std::optional<quorvia::test::ReadOnlyFolder> readOnly(std::in_place, folder);
    if (!readOnly->isReadOnly())
        GTEST_SKIP() << "needs root to mount the folder read-only: root writes past its mode";
    SingleInstanceGuard guard(QString(), {{QFile::decodeName(lock), QStringLiteral("%1")}});
    ASSERT_EQ(guard.claim().outcome, SingleInstanceGuard::Outcome::primary);
    // Writes only when flushed.
    constexpr double never = 3600;
    quorvia::test::TestPlatform env;
    env.platform().writeGateService = guard.writeGate();
    SettingsDefaults store(folder + QStringLiteral("/defaults"), QString(), never, never);
    store.setInteger(QStringLiteral("small"), 1);
    ASSERT_TRUE(store.flush().has_value());

    readOnly.reset();
    {
        const FileDescriptor later(::open(lock.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
        ASSERT_EQ(::flock(later.get(), LOCK_EX | LOCK_NB), 0);
        store.setInteger(QStringLiteral("small"), 2);
        const auto refused = store.flush();
        ASSERT_TRUE(refused.has_value());
        EXPECT_EQ(refused->reason, QStringLiteral("另一个 Quorvia 正在使用这个文件夹"));
        EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/defaults")));
    }
    EXPECT_FALSE(store.flush().has_value());
    EXPECT_EQ(SettingsDefaults(folder + QStringLiteral("/defaults"), QString(), never).integer(QStringLiteral("small")), 2);
    const FileDescriptor another(::open(lock.constData(), O_RDWR | O_CLOEXEC));
    EXPECT_NE(::flock(another.get(), LOCK_EX | LOCK_NB), 0) << "the writer does not hold the lock";
}

// A launch beside an instance whose quit waits on the speaker waits too, long past its patience, and
// is handed over once the quit is called off. Something else at the socket's path is said in the speaker's words.
TEST(SingleInstanceGuardTest, ALaunchBesideAQuittingInstanceWaitsUntilTheQuitIsCalledOff)
{
    using namespace quorvia::platform;
    QTemporaryDir folder;
    const QString name = folder.filePath(QStringLiteral("socket"));
    const SingleInstanceGuard::Lock lock {folder.filePath(QStringLiteral("instance.lock")), QStringLiteral("%1")};
    SingleInstanceGuard running(name, {lock});
    ASSERT_TRUE(QDir().mkdir(name) && running.claim().outcome == SingleInstanceGuard::Outcome::primary);
    EXPECT_TRUE(running.listen().contains(name + QStringLiteral(" 已被同名的文件或文件夹占用")));
    ASSERT_TRUE(QDir().rmdir(name) && running.listen().isEmpty());
    native::LinuxApplicationShell shell;
    shell.shouldTerminate = [](QuitRequest) { return TerminateReply::later; };
    int asks = 0;
    running.isQuitting = [&] { return ++asks, shell.isQuitting(); };
    shell.terminate(QuitRequest::speaker);
    auto later = std::async(std::launch::async, [&] { SingleInstanceGuard guard(name, {lock}); guard.patienceMs = 500; return guard.claim().outcome; });
    const auto ended = [&] { return later.wait_for(std::chrono::seconds(0)) == std::future_status::ready; };
    // Asks come at least 50 ms apart: these span four patiences.
    ASSERT_TRUE(quorvia::test::waitUntil([&] { return asks >= 42 || ended(); }) && !ended()) << "the launch did not wait for the quit";
    shell.replyToTermination(false);
    EXPECT_TRUE(quorvia::test::waitUntil(ended) && later.get() == SingleInstanceGuard::Outcome::handedOver);
}
