#include "platform/files/AtomicFileWrite.h"
#include "platform/files/BoundedFileRead.h"
#include "platform/files/ErrorDescription.h"
#include "platform/files/FileDescriptor.h"
#include "platform/core/Fnv1a.h"
#include "support/EventWait.h"
#include "support/QtPrinting.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace quorvia::platform;
using Outcome = BoundedFileRead::Outcome;

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

TEST(BoundedFileReadTest, ReadsOnlyPlainFilesWithinTheBoundAndNeverWaits)
{
    QTemporaryDir dir;
    const QString plain = dir.filePath(QStringLiteral("plain"));
    writeFile(plain, "12345");

    const auto exact = readBoundedFile(plain, 5);
    ASSERT_EQ(exact.outcome, Outcome::read);
    EXPECT_EQ(exact.bytes, "12345");
    EXPECT_EQ(readBoundedFile(plain, 4).outcome, Outcome::tooLarge);
    EXPECT_EQ(readBoundedFile(dir.filePath(QStringLiteral("absent")), 5).outcome, Outcome::missing);
    EXPECT_EQ(readBoundedFile(plain + QStringLiteral("/below"), 5).outcome, Outcome::missing);

    // A FIFO with no writer would block an ordinary open for ever.
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(readBoundedFile(fifo, 5).outcome, Outcome::notRegular);

    // A device behind a link, and a folder.
    const QString zero = dir.filePath(QStringLiteral("zero"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), zero));
    EXPECT_EQ(readBoundedFile(zero, 5).outcome, Outcome::notRegular);
    EXPECT_EQ(readBoundedFile(dir.path(), 5).outcome, Outcome::notRegular);

    // Asked not to follow, a link to a plain file is refused too.
    const QString link = dir.filePath(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(plain, link));
    EXPECT_EQ(readBoundedFile(link, 5).outcome, Outcome::read);
    EXPECT_EQ(readBoundedFile(link, 5, O_NOFOLLOW).outcome, Outcome::notRegular);
}

TEST(BoundedFileReadTest, AFileThatGrowsWhileReadIsRefusedAtTheBound)
{
    // /proc files say size 0 and then yield more: the read must stop at bound + 1.
    const FileDescriptor fd(openForReading(QStringLiteral("/proc/self/maps")));
    ASSERT_TRUE(fd.isOpen());
    EXPECT_EQ(readBounded(fd.get(), 16).outcome, Outcome::tooLarge);
}

std::atomic<pid_t> writerThread{0};
std::atomic<int> writerInterruptions{0};
void countInterruption(int) { writerInterruptions += ::gettid() == writerThread; }

// Whether the thread waits in write(2), as the kernel tells.
bool inWrite(pid_t thread)
{
    QFile call(QStringLiteral("/proc/self/task/%1/syscall").arg(thread));
    return call.open(QIODevice::ReadOnly) && call.readAll().startsWith(QByteArray::number(SYS_write) + ' ');
}

TEST(FileDescriptorTest, WriteAllCarriesOnThroughShortWritesAndInterruptions)
{
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    FileDescriptor reader(ends[0]);
    FileDescriptor writer(ends[1]);
    // A full pipe: the first write waits before it moves a byte.
    ASSERT_EQ(::fcntl(writer.get(), F_SETFL, O_NONBLOCK), 0);
    QByteArray filler(1 << 20, 'f');
    filler.truncate(::write(writer.get(), filler.data(), filler.size()));
    ASSERT_EQ(::fcntl(writer.get(), F_SETFL, 0), 0);

    // Without SA_RESTART a signal fails a write that moved nothing with EINTR
    // and cuts one that moved some bytes short.
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = countInterruption;
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);

    QByteArray bytes(4 << 20, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7 % 251);
    bool written = false;
    std::thread writing([&] {
        writerThread = ::gettid();
        written = writeAll(writer.get(), bytes);
        writer.reset();
    });
    // The signal goes to the writer alone, once it waits in write().
    ASSERT_TRUE(quorvia::test::waitUntil([&] { return writerThread && inWrite(writerThread); }));
    ::pthread_kill(writing.native_handle(), SIGUSR1);
    ASSERT_TRUE(quorvia::test::waitUntil([&] { return writerInterruptions == 1; }));

    QByteArray received;
    char buffer[4096];
    for (ssize_t n; (n = ::read(reader.get(), buffer, sizeof buffer)) > 0;) {
        received.append(buffer, n);
        if (received.size() % (256 << 10) == 0 && inWrite(writerThread))
            ::pthread_kill(writing.native_handle(), SIGUSR1);
    }
    writing.join();
    ::sigaction(SIGUSR1, &previous, nullptr);

    EXPECT_TRUE(written);
    EXPECT_TRUE(received == filler + bytes) << received.size() << " of " << (filler + bytes).size() << " bytes";
}

TEST(AtomicFileWriteTest, ReplacesWholeOrLeavesNoPiece)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("value")), "old");
    ASSERT_TRUE(writeFileAtomically(dir.path(), QStringLiteral("value"), "new contents", true));
    QFile value(dir.filePath(QStringLiteral("value")));
    ASSERT_TRUE(value.open(QIODevice::ReadOnly));
    EXPECT_EQ(value.readAll(), "new contents");
    EXPECT_EQ(value.permissions() & (QFile::ReadOther | QFile::ReadGroup), QFile::Permissions());

    // The rename fails onto a folder that holds something: the temporary must go at once.
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("taken/inside")));
    const auto failed = writeFileAtomically(dir.path(), QStringLiteral("taken"), "x", false);
    ASSERT_FALSE(failed);
    const int error = failed.error().value();
    EXPECT_TRUE(error == EISDIR || error == ENOTEMPTY || error == EEXIST) << error;
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{QStringLiteral("value")});

    EXPECT_EQ(writeFileAtomically(dir.filePath(QStringLiteral("absent")), QStringLiteral("v"), "x", false).error(), std::errc::no_such_file_or_directory);
}

TEST(Fnv1aTest, MatchesThePublishedVectors)
{
    // Stored display identities depend on these never changing.
    EXPECT_EQ(fnv1a32(""), 0x811c9dc5u);
    EXPECT_EQ(fnv1a32("a"), 0xe40c292cu);
    EXPECT_EQ(fnv1a32("foobar"), 0xbf9cf968u);
}

} // namespace

// Every error reads in the speaker's words, one the program has none for too:
// the system's own messages are English.
TEST(ErrorDescriptionTest, NoErrorReachesTheSpeakerInTheSystemsEnglish)
{
    EXPECT_EQ(describeError(std::make_error_code(std::errc::read_only_file_system)), QStringLiteral("文件夹所在的磁盘只读"));
    EXPECT_EQ(describeError(std::error_code(ENOSPC, std::system_category())), QStringLiteral("磁盘空间已满"));
    // A busy mount point is no other launch of ours: only the locks say that.
    EXPECT_EQ(describeError(EBUSY), QStringLiteral("文件夹或磁盘正被系统占用（例如是挂载点）"));
    EXPECT_EQ(describeError(anotherInstanceError()), QStringLiteral("另一个 Quorvia 正在使用这个文件夹"));
    for (int error = 1; error < 134; ++error) {
        const QString text = describeError(error);
        EXPECT_FALSE(text.contains(QRegularExpression(QStringLiteral("[A-Za-z]{2,}")))) << error << ' ' << text.toStdString();
    }
    EXPECT_EQ(describeError(std::make_error_code(std::future_errc::broken_promise)), QStringLiteral("系统错误"));
}
