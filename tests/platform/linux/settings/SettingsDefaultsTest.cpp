#include "platform/linux/settings/SettingsDefaults.h"
#include "support/EventWait.h"
#include "support/QtPrinting.h"
#include "support/TestPlatform.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/prctl.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <csignal>
#include <random>
#include <thread>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using quorvia::platform::native::DefaultsFileStore;
using quorvia::platform::native::SettingsDefaults;

namespace {

// Long enough that nothing is written unless something forces it.
constexpr double never = 3600;

const QString big = QStringLiteral("presentation.projects.v1");

QStringList filesIn(const QString& folder) { return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name); }

QStringList separateFilesIn(const QString& folder) { return QDir(folder).entryList({QStringLiteral("value-*.dat")}, QDir::Files); }

// A value that names its own generation, so a reader can tell a complete one from a mix.
QByteArray bigValue(qint64 n)
{
    const QByteArray head = "n=" + QByteArray::number(n) + ';';
    return head + QByteArray(64 << 10, static_cast<char>('a' + n % 26)) + head;
}

std::optional<qint64> generationOf(const QByteArray& value)
{
    const qsizetype end = value.indexOf(';');
    if (!value.startsWith("n=") || end < 0)
        return std::nullopt;
    bool ok = false;
    const qint64 n = value.mid(2, end - 2).toLongLong(&ok);
    if (!ok || value != bigValue(n))
        return std::nullopt;
    return n;
}

// Just small enough to stay in the index, so the index takes a while to write too.
QString smallText(qint64 n)
{
    const QString head = QString::fromUtf8("第%1段").arg(n);
    return head + QString(DefaultsFileStore::separateFileThreshold / 2 - 64, QChar(u'字')) + head;
}

} // namespace

TEST(SettingsDefaults, FlushAndDestructionPutTheLastChangeOnDisk)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("defaults"));
    SettingsDefaults store(folder, QString(), never);
    store.setInteger(QStringLiteral("n"), 1);
    store.setData(big, bigValue(1));
    store.setInteger(QStringLiteral("n"), 2);
    // Read back at once, long before the coalescing delay has passed.
    EXPECT_EQ(store.integer(QStringLiteral("n")), 2);
    EXPECT_FALSE(QFile::exists(folder + u'/' + DefaultsFileStore::indexName));

    store.flush();
    {
        const SettingsDefaults onDisk(folder, QString(), never);
        EXPECT_EQ(onDisk.integer(QStringLiteral("n")), 2);
        EXPECT_EQ(onDisk.data(big), bigValue(1));
    }

    {
        SettingsDefaults quitting(folder, QString(), never);
        quitting.setInteger(QStringLiteral("n"), 3);
        quitting.remove(big);
    }
    const SettingsDefaults reopened(folder, QString(), never);
    EXPECT_EQ(reopened.integer(QStringLiteral("n")), 3);
    EXPECT_FALSE(reopened.contains(big));
    EXPECT_TRUE(separateFilesIn(folder).isEmpty());
}

TEST(SettingsDefaults, LargeValuesAreRewrittenOnlyWhenTheyChange)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("defaults"));
    SettingsDefaults store(folder, QString(), never);
    store.setData(big, bigValue(1));
    store.setInteger(QStringLiteral("small"), 1);
    store.flush();
    const QStringList first = separateFilesIn(folder);
    ASSERT_EQ(first.size(), 1);

    store.setInteger(QStringLiteral("small"), 2);
    store.setData(big, bigValue(1)); // the same bytes again
    store.flush();
    EXPECT_EQ(separateFilesIn(folder), first);

    store.setData(big, bigValue(2));
    store.flush();
    const QStringList second = separateFilesIn(folder);
    ASSERT_EQ(second.size(), 1);
    EXPECT_NE(second, first);
    // Nothing half-written or superseded is left behind.
    EXPECT_EQ(filesIn(folder), QStringList({DefaultsFileStore::indexCopyName, DefaultsFileStore::indexName, second.front()}));
}

TEST(SettingsDefaults, EarlierSettingsFileIsMovedOverOnce)
{
    QTemporaryDir dir;
    const QString legacyPath = dir.filePath(QStringLiteral("defaults.ini"));
    const QString folder = dir.filePath(QStringLiteral("defaults"));
    const QByteArray projects = QString::fromUtf8(R"({"activeProjectID":"X","projects":[{"name":"默认演讲, 第一"}]})").toUtf8().repeated(500);
    {
        // As the earlier version wrote it.
        QSettings legacy(legacyPath, QSettings::IniFormat);
        legacy.setValue(big, projects);
        legacy.setValue(QStringLiteral("presentation.promptScript"), QString::fromUtf8("1\n大家好, 今天"));
        legacy.setValue(QStringLiteral("presentation.autoScroll.charactersPerMinute"), 300);
        legacy.setValue(QStringLiteral("island.window.opacity"), 0.5);
        legacy.setValue(QStringLiteral("island.window.alwaysOnTop"), false);
    }
    const QSettings legacy(legacyPath, QSettings::IniFormat);
    {
        const SettingsDefaults store(folder, legacyPath, never);
        EXPECT_EQ(store.keys().size(), legacy.allKeys().size());
        for (const QString& key : legacy.allKeys())
            EXPECT_EQ(store.value(key), legacy.value(key)) << key.toStdString();
        EXPECT_EQ(store.data(big), projects);
        EXPECT_EQ(store.integer(QStringLiteral("presentation.autoScroll.charactersPerMinute")), 300);
        EXPECT_DOUBLE_EQ(store.doubleValue(QStringLiteral("island.window.opacity")), 0.5);
        EXPECT_FALSE(store.boolean(QStringLiteral("island.window.alwaysOnTop")));
        EXPECT_TRUE(store.contains(QStringLiteral("island.window.alwaysOnTop")));
    }
    // Moved over at the first start: a later change to the old file is not read again.
    QSettings(legacyPath, QSettings::IniFormat).setValue(QStringLiteral("presentation.autoScroll.charactersPerMinute"), 500);
    const SettingsDefaults reopened(folder, legacyPath, never);
    EXPECT_EQ(reopened.integer(QStringLiteral("presentation.autoScroll.charactersPerMinute")), 300);
    EXPECT_EQ(reopened.data(big), projects);
}

TEST(SettingsDefaults, DamagedFilesAreSetAsideNotLost)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("defaults"));
    {
        SettingsDefaults store(folder, QString(), never);
        store.setData(big, bigValue(1));
        store.setInteger(QStringLiteral("small"), 1);
    }
    // A large value whose file is damaged reads as the file's bytes, which no
    // reader takes for a good value; the file is set aside, never deleted, even
    // by the writes that follow. The other values stay.
    ASSERT_EQ(separateFilesIn(folder).size(), 1);
    const QString valuePath = folder + u'/' + separateFilesIn(folder).front();
    QByteArray damaged;
    {
        QFile value(valuePath);
        ASSERT_TRUE(value.open(QIODevice::ReadWrite));
        damaged = value.readAll() + 'x';
        value.write("x");
    }
    {
        SettingsDefaults store(folder, QString(), never);
        EXPECT_EQ(store.data(big), damaged);
        EXPECT_EQ(store.integer(QStringLiteral("small")), 1);
        ASSERT_EQ(store.damageFound().setAside.size(), 1);
        EXPECT_TRUE(store.damageFound().setAside.front().startsWith(valuePath + QStringLiteral(".unreadable-")));
        EXPECT_EQ(store.damageFound().index, quorvia::platform::DefaultsStoreDamage::Index::intact);
        store.setData(big, bigValue(2));
        store.flush();
        QFile aside(store.damageFound().setAside.front());
        ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
        EXPECT_EQ(aside.readAll(), damaged);
    }
    // One whose file is gone reads as absent, and is said.
    const QStringList gone = separateFilesIn(folder);
    ASSERT_EQ(gone.size(), 1);
    QFile::remove(folder + u'/' + gone.front());
    {
        const SettingsDefaults store(folder, QString(), never);
        EXPECT_FALSE(store.contains(big));
        EXPECT_EQ(store.damageFound().missing, QStringList{folder + u'/' + gone.front()});
        EXPECT_TRUE(store.damageFound().setAside.isEmpty());
        EXPECT_EQ(store.integer(QStringLiteral("small")), 1);
    }
    // Said once: the next start finds a store that no longer names it.
    EXPECT_TRUE(SettingsDefaults(folder, QString(), never).damageFound().isEmpty());
}

TEST(SettingsDefaults, FlushReturnsWhenTheDiskRefusesTheWrite)
{
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    SettingsDefaults store(dir.filePath(QStringLiteral("file/defaults")), QString(), never);
    store.setInteger(QStringLiteral("n"), 1);
    store.flush();
    store.flush();
    EXPECT_EQ(store.integer(QStringLiteral("n")), 1);
}

namespace {

// A small disk of the test's own: a tmpfs where this process may mount one,
// else a limit on the size of the files this process writes, which fails the
// same writes for the same cause, a write that finds no room.
class SmallDisk {
public:
    explicit SmallDisk(qint64 bytes)
    {
        const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0700";
        mounted_ = ::mount("tmpfs", QFile::encodeName(dir_.path()).constData(), "tmpfs", 0, options.constData()) == 0;
        if (!mounted_) {
            ::getrlimit(RLIMIT_FSIZE, &previous_);
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limited = previous_;
            limited.rlim_cur = static_cast<rlim_t>(bytes);
            ::setrlimit(RLIMIT_FSIZE, &limited);
        }
    }
    ~SmallDisk()
    {
        if (mounted_)
            ::umount2(QFile::encodeName(dir_.path()).constData(), MNT_DETACH);
        else
            ::setrlimit(RLIMIT_FSIZE, &previous_);
    }
    QString path() const { return dir_.path(); }
    bool isTmpfs() const { return mounted_; }
    void makeReadOnly()
    {
        if (mounted_)
            ::mount("tmpfs", QFile::encodeName(dir_.path()).constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr);
        else
            ::chmod(QFile::encodeName(dir_.path() + QStringLiteral("/defaults")).constData(), 0500);
    }
    void makeWritable()
    {
        if (mounted_)
            ::mount("tmpfs", QFile::encodeName(dir_.path()).constData(), "tmpfs", MS_REMOUNT, nullptr);
        else
            ::chmod(QFile::encodeName(dir_.path() + QStringLiteral("/defaults")).constData(), 0700);
    }

private:
    QTemporaryDir dir_;
    bool mounted_ = false;
    rlimit previous_ {};
};

} // namespace

// A disk that fills up: the speaker is told once, with the folder and why; the
// values on disk stay as they were, nothing half-written is left, and the
// store keeps trying until the value fits.
TEST(SettingsDefaults, AFullDiskIsToldOnceAndTheWriteKeptTrying)
{
    quorvia::test::TestPlatform env;
    SmallDisk disk(512 << 10);
    const QString folder = disk.path() + QStringLiteral("/defaults");
    std::vector<quorvia::platform::DefaultsWriteFailure> told;
    {
        SettingsDefaults store(folder, QString(), never, 0.01);
        store.onWriteFailure = [&](const auto& failure) { told.push_back(failure); };
        store.setData(big, bigValue(1));
        store.setInteger(QStringLiteral("small"), 1);
        ASSERT_FALSE(store.flush().has_value());

        store.setData(big, QByteArray(2 << 20, 'x'));
        store.setInteger(QStringLiteral("small"), 2);
        const auto failure = store.flush();
        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(failure->folder, folder);
        if (disk.isTmpfs()) {
            EXPECT_EQ(failure->reason, QStringLiteral("磁盘空间已满"));
        }
        EXPECT_TRUE(store.flush().has_value());
        env.scheduler().runPending();
        ASSERT_EQ(told.size(), 1u);
        EXPECT_EQ(told.front(), *failure);
        EXPECT_TRUE(QDir(folder).entryList({QStringLiteral("*.tmp-*")}, QDir::Files | QDir::Hidden).isEmpty());
        {
            const SettingsDefaults onDisk(folder, QString(), never);
            EXPECT_EQ(onDisk.data(big), bigValue(1));
            EXPECT_EQ(onDisk.integer(QStringLiteral("small")), 1);
            EXPECT_TRUE(onDisk.damageFound().isEmpty());
        }

        // Room again: the writer gets the change out by itself.
        store.setData(big, bigValue(3));
        EXPECT_TRUE(quorvia::test::waitUntil(
            [&] { return SettingsDefaults(folder, QString(), never).integer(QStringLiteral("small")) == 2; }));
        EXPECT_FALSE(store.flush().has_value());
    }
    env.scheduler().runPending();
    EXPECT_EQ(told.size(), 1u);
}

TEST(SettingsDefaults, AReadOnlyFolderIsToldAndTheChangesLandOnceItIsWritable)
{
    quorvia::test::TestPlatform env;
    SmallDisk disk(4 << 20);
    const QString folder = disk.path() + QStringLiteral("/defaults");
    std::vector<quorvia::platform::DefaultsWriteFailure> told;
    SettingsDefaults store(folder, QString(), never, 0.01);
    store.onWriteFailure = [&](const auto& failure) { told.push_back(failure); };
    store.setInteger(QStringLiteral("small"), 1);
    ASSERT_FALSE(store.flush().has_value());
    disk.makeReadOnly();
    if (::access(QFile::encodeName(folder).constData(), W_OK) == 0)
        GTEST_FAIL() << "the folder could not be made read-only here";

    store.setInteger(QStringLiteral("small"), 2);
    store.setData(big, bigValue(2));
    const auto failure = store.flush();
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->folder, folder);
    EXPECT_FALSE(failure->reason.isEmpty());
    for (int i = 0; i < 3; ++i)
        store.setInteger(QStringLiteral("small"), 3 + i);
    EXPECT_TRUE(store.flush().has_value());
    env.scheduler().runPending();
    EXPECT_EQ(told.size(), 1u);
    EXPECT_EQ(SettingsDefaults(folder, QString(), never).integer(QStringLiteral("small")), 1);

    disk.makeWritable();
    EXPECT_FALSE(store.flush().has_value());
    const SettingsDefaults onDisk(folder, QString(), never);
    EXPECT_EQ(onDisk.integer(QStringLiteral("small")), 5);
    EXPECT_EQ(onDisk.data(big), bigValue(2));
}

// An empty read-only disk: the store's folder cannot even be made, and the
// speaker reads that and why, not that some folder on the way is missing.
TEST(SettingsDefaults, AFolderThatCannotBeMadeSaysSoAndWhy)
{
    quorvia::test::TestPlatform env;
    SmallDisk disk(1 << 20);
    disk.makeReadOnly();
    const QByteArray top = QFile::encodeName(disk.path());
    if (!disk.isTmpfs())
        ::chmod(top.constData(), 0500);
    if (::access(top.constData(), W_OK) == 0)
        GTEST_SKIP() << "needs a mount or a user the mode stops";
    const QString folder = disk.path() + QStringLiteral("/config/com.local.quorvia.mvp/defaults");
    SettingsDefaults store(folder, QString(), never);
    store.setInteger(QStringLiteral("small"), 1);
    const auto failure = store.flush();
    if (!disk.isTmpfs())
        ::chmod(top.constData(), 0700);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->folder, folder);
    const QString why = disk.isTmpfs() ? QStringLiteral("文件夹所在的磁盘只读") : QStringLiteral("没有写入该文件夹的权限");
    EXPECT_EQ(failure->reason.toStdString(), QStringLiteral("文件夹不存在，也无法创建（%1）").arg(why).toStdString());
}

// A writer killed at random moments always leaves a store that reads back as one
// of the states it wrote, each generation complete and no older than before.
void killWriterAtRandomMoments(const std::function<QByteArray(qint64)>& bigValue,
                               const std::function<std::optional<qint64>(const QByteArray&)>& generationOf, int rounds)
{
    // In memory where there is such a folder: a kill tests the renames, not the disk's speed.
    QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/quorvia-XXXXXX") : QDir::tempPath() + QStringLiteral("/quorvia-XXXXXX"));
    const QString folder = dir.filePath(QStringLiteral("defaults"));
    const auto seed = std::random_device{}();
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> delay(1000, 30000);
    {
        SettingsDefaults first(folder, QString(), never);
        first.setData(big, bigValue(0));
        first.setInteger(QStringLiteral("small"), 0);
        first.setString(QStringLiteral("text"), smallText(0));
    }
    qint64 last = 0;
    for (int round = 0; round < rounds; ++round) {
        // The writer says when a generation is on disk; each round kills it at
        // a random moment after it has put down a new one, however slowly.
        int written[2];
        ASSERT_EQ(::pipe(written), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            ::close(written[0]);
            SettingsDefaults store(folder, QString(), 0);
            // Completes the generation on disk first, so the keys never lag by more than one.
            for (qint64 n = generationOf(store.data(big).value_or(QByteArray())).value_or(1);; ++n) {
                store.setData(big, bigValue(n));
                store.setInteger(QStringLiteral("small"), n);
                store.setString(QStringLiteral("text"), smallText(n));
                store.flush();
                const char one = 1;
                [[maybe_unused]] const auto said = ::write(written[1], &one, 1);
            }
        }
        ::close(written[1]);
        char got[2];
        std::size_t heard = 0;
        for (ssize_t n; heard < sizeof got && (n = ::read(written[0], got + heard, sizeof got - heard)) != 0;)
            heard += n > 0 ? std::size_t(n) : 0;
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ::close(written[0]);
        ASSERT_EQ(heard, sizeof got) << "the writer ended on its own";

        const SettingsDefaults store(folder, QString(), never);
        SCOPED_TRACE(testing::Message() << "seed " << seed << ", round " << round);
        ASSERT_TRUE(store.data(big).has_value());
        const auto n = generationOf(*store.data(big));
        ASSERT_TRUE(n.has_value());
        const qint64 small = store.integer(QStringLiteral("small"));
        // Each key is written in turn, so a snapshot may fall between them.
        EXPECT_TRUE(small == *n || small == *n - 1) << *n << " " << small;
        const QString text = store.string(QStringLiteral("text")).value_or(QString());
        EXPECT_TRUE(text == smallText(small) || (small == *n && text == smallText(*n - 1))) << text.left(12).toStdString();
        EXPECT_GE(*n, last);
        last = *n;
        EXPECT_TRUE(QDir(folder).entryList({QStringLiteral("*unreadable*")}).isEmpty());
    }
    // Each round put down at least one generation past the one before.
    EXPECT_GE(last, rounds);
}

TEST(SettingsDefaults, KilledWriterLeavesAWrittenState) { killWriterAtRandomMoments(bigValue, generationOf, 50); }

// The same for a value kept in pieces, of which each write changes one in the middle.
TEST(SettingsDefaults, KilledWriterOfAValueInPiecesLeavesAWrittenState)
{
    const QByteArray side(3 << 19, 'm');
    const auto middleValue = [side](qint64 n) { return side + "n=" + QByteArray::number(n) + ';' + side; };
    killWriterAtRandomMoments(middleValue, [&](const QByteArray& value) -> std::optional<qint64> {
        const qsizetype at = value.indexOf("n=", side.size());
        const qsizetype end = value.indexOf(';', at);
        bool ok = false;
        const qint64 n = at == side.size() && end > at ? value.mid(at + 2, end - at - 2).toLongLong(&ok) : 0;
        if (!ok || value != middleValue(n))
            return std::nullopt;
        return n;
    }, 25);
}

TEST(SettingsDefaults, DeferredValuesAreMadeByTheWriterOrAtTheFirstRead)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("defaults"));
    const auto caller = std::this_thread::get_id();
    std::atomic<int> made = 0;
    std::atomic<bool> madeElsewhere = false;
    const auto producer = [&](qint64 n) {
        return [&, n] {
            ++made;
            madeElsewhere = std::this_thread::get_id() != caller;
            return bigValue(n);
        };
    };
    {
        SettingsDefaults store(folder, QString(), never);
        store.setDeferredData(big, producer(1));
        EXPECT_TRUE(store.keys().contains(big));
        // A newer value for the key means the older one is never made.
        store.setDeferredData(big, producer(2));
        store.flush();
        EXPECT_EQ(made, 1);
        EXPECT_TRUE(madeElsewhere);
        EXPECT_EQ(store.data(big), bigValue(2));

        // Read before the writer gets to it: made at once, and only once.
        store.setDeferredData(big, producer(3));
        EXPECT_EQ(store.data(big), bigValue(3));
        EXPECT_EQ(made, 2);
        store.flush();
        EXPECT_EQ(made, 2);

        store.setDeferredData(QStringLiteral("gone"), producer(4));
        store.remove(QStringLiteral("gone"));
        EXPECT_FALSE(store.contains(QStringLiteral("gone")));
        store.setDeferredData(big, producer(5));
        store.setData(big, "plain");
        EXPECT_EQ(store.data(big), QByteArray("plain"));
        store.setDeferredData(big, producer(6));
    }
    // Destruction writes what was still to be made.
    EXPECT_EQ(SettingsDefaults(folder, QString(), never).data(big), bigValue(6));
    EXPECT_EQ(made, 3);
}
