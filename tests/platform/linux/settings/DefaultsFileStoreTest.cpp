#include "platform/linux/settings/SettingsDefaults.h"
#include "support/QtPrinting.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <limits>

#include <cerrno>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using quorvia::platform::DefaultsStoreDamage;
using quorvia::platform::native::DefaultsFileStore;
using quorvia::platform::native::SettingsDefaults;

namespace {

constexpr double never = 3600;
const QString big = QStringLiteral("presentation.projects.v1");

QByteArray bigValue(char fill) { return QByteArray("{\"projects\":") + QByteArray(300 << 10, fill) + '}'; }

QStringList valueFilesIn(const QString& folder) { return QDir(folder).entryList({QStringLiteral("value-*.dat")}, QDir::Files | QDir::System); }

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A store on disk with one large and one small value.
void writeStore(const QString& folder)
{
    SettingsDefaults store(folder, QString(), never);
    store.setData(big, bigValue('a'));
    store.setInteger(QStringLiteral("speed"), 300);
}

// The most address space this process has held, in KiB.
qint64 peakAddressSpace()
{
    const QByteArray status = contents(QStringLiteral("/proc/self/status"));
    const qsizetype at = status.indexOf("VmPeak:") + 7;
    return status.mid(at, status.indexOf('\n', at) - at).trimmed().split(' ').front().toLongLong();
}

} // namespace

TEST(DefaultsFileStore, ValueFilesNameTheirKeysInAFormTheEarlierReaderAccepts)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("defaults"));
    writeStore(folder);
    const QStringList files = valueFilesIn(folder);
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(DefaultsFileStore::keyOfFileName(files.front()), big);
    EXPECT_EQ(contents(folder + u'/' + DefaultsFileStore::indexName), contents(folder + u'/' + DefaultsFileStore::indexCopyName));
    // Names of the earlier form, and names that only look alike, carry no key.
    EXPECT_EQ(DefaultsFileStore::keyOfFileName(QStringLiteral("value-00112233aabbccdd.dat")), std::nullopt);
    EXPECT_EQ(DefaultsFileStore::keyOfFileName(QStringLiteral("value-zz-00112233aabbccdd.dat")), std::nullopt);
    EXPECT_EQ(DefaultsFileStore::keyOfFileName(QStringLiteral("value-616-00112233aabbccdd.dat")), std::nullopt);
    EXPECT_EQ(DefaultsFileStore::keyOfFileName(QStringLiteral("value-61-0011.dat.tmp-1")), std::nullopt);
    EXPECT_EQ(DefaultsFileStore::keyOfFileName(QStringLiteral("value-e4bda0-0011.dat")), QString::fromUtf8("你"));
}

// With the index and its copy both gone, large values come back from the files
// that name their keys; a file of the earlier form, whose key nothing tells, is
// moved aside whole and named, and the first write after sweeps neither.
TEST(DefaultsFileStore, WithoutIndexOrCopyLargeValuesComeBackFromTheirOwnFiles)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("defaults"));
    writeStore(folder);
    const QByteArray earlier = QByteArray::fromHex("5144563100000000") + QByteArray(20000, 'e');
    {
        QFile old(folder + QStringLiteral("/value-00112233aabbccdd.dat"));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(earlier);
    }
    QFile::remove(folder + u'/' + DefaultsFileStore::indexName);
    QFile::remove(folder + u'/' + DefaultsFileStore::indexCopyName);

    {
        SettingsDefaults store(folder, QString(), never);
        EXPECT_EQ(store.data(big), bigValue('a'));
        EXPECT_FALSE(store.contains(QStringLiteral("speed")));
        const DefaultsStoreDamage damage = store.damageFound();
        EXPECT_EQ(damage.index, DefaultsStoreDamage::Index::lost);
        EXPECT_EQ(damage.recovered, QStringList{big});
        ASSERT_EQ(damage.unaccounted.size(), 1);
        EXPECT_EQ(contents(damage.unaccounted.front()), earlier);
        EXPECT_FALSE(damage.isEmpty());
        store.setInteger(QStringLiteral("speed"), 400);
        EXPECT_FALSE(store.flush().has_value());
        EXPECT_EQ(contents(damage.unaccounted.front()), earlier);
    }
    const SettingsDefaults reopened(folder, QString(), never);
    EXPECT_TRUE(reopened.damageFound().isEmpty());
    EXPECT_EQ(reopened.data(big), bigValue('a'));
    EXPECT_EQ(reopened.integer(QStringLiteral("speed")), 400);
}

// Of several files of one key left without an index, the newest is taken and
// the others are kept aside.
TEST(DefaultsFileStore, WithoutIndexTheNewestFileOfAKeyWinsAndTheOthersAreKept)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("defaults"));
    writeStore(folder);
    const QString first = valueFilesIn(folder).front();
    QFile::copy(folder + u'/' + first, dir.filePath(QStringLiteral("first")));
    {
        SettingsDefaults store(folder, QString(), never);
        store.setData(big, bigValue('b'));
    }
    // The superseded file is back, older than the current one, and no index is left.
    ASSERT_TRUE(QFile::copy(dir.filePath(QStringLiteral("first")), folder + u'/' + first));
    QFile older(folder + u'/' + first);
    ASSERT_TRUE(older.open(QIODevice::ReadWrite));
    ASSERT_TRUE(older.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
    older.close();
    QFile::remove(folder + u'/' + DefaultsFileStore::indexName);
    QFile::remove(folder + u'/' + DefaultsFileStore::indexCopyName);

    const SettingsDefaults store(folder, QString(), never);
    EXPECT_EQ(store.data(big), bigValue('b'));
    ASSERT_EQ(store.damageFound().unaccounted.size(), 1);
    EXPECT_EQ(contents(store.damageFound().unaccounted.front()), contents(dir.filePath(QStringLiteral("first"))));
}

// A value file that is a FIFO, a link to an endless device or a file far
// beyond any value is never read: the store opens, sets it aside like a damaged
// file and says so; the next start is clean.
TEST(DefaultsFileStore, FilesThatAreNoPlainFilesOrTooLargeAreSetAsideWithoutWaiting)
{
    for (const char* kind : {"fifo", "device", "huge"}) {
        SCOPED_TRACE(kind);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("defaults"));
        writeStore(folder);
        const QString path = folder + u'/' + valueFilesIn(folder).front();
        const QByteArray encoded = QFile::encodeName(path);
        ASSERT_TRUE(QFile::remove(path));
        if (std::string_view(kind) == "fifo")
            ASSERT_EQ(::mkfifo(encoded.constData(), 0600), 0);
        else if (std::string_view(kind) == "device")
            ASSERT_EQ(::symlink("/dev/zero", encoded.constData()), 0);
        else {
            // Sparse: as large as it claims, without the disk space.
            const int fd = ::open(encoded.constData(), O_CREAT | O_WRONLY, 0600);
            ASSERT_GE(fd, 0);
            ASSERT_EQ(::ftruncate(fd, DefaultsFileStore::maximumValueBytes + 1), 0);
            ::close(fd);
        }

        auto opening = std::async(std::launch::async, [&] { return std::make_unique<SettingsDefaults>(folder, QString(), never); });
        if (opening.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
            // Let a reader stuck on the FIFO go, then fail.
            const int writer = ::open(encoded.constData(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0)
                ::close(writer);
            opening.wait();
            FAIL() << "opening the store waited on the file";
        }
        const auto store = opening.get();
        EXPECT_FALSE(store->contains(big));
        EXPECT_EQ(store->integer(QStringLiteral("speed")), 300);
        ASSERT_EQ(store->damageFound().setAside.size(), 1);
        EXPECT_TRUE(store->damageFound().setAside.front().startsWith(path + QStringLiteral(".unreadable-")));
        EXPECT_FALSE(QFileInfo(path).exists() || QFileInfo(path).isSymLink());
        EXPECT_FALSE(store->flush().has_value());
        EXPECT_TRUE(SettingsDefaults(folder, QString(), never).damageFound().isEmpty());
    }
}

// A damaged list length in the index claims tens of millions of entries: the
// load asks for no room the file could not fill (Qt's own reader would
// reserve 1 GiB), sets the index aside and reads the copy.
TEST(DefaultsFileStore, AnIndexWhoseListClaimsMillionsOfEntriesIsSetAsideAndTheCopyRead)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("defaults"));
    const QVariantList list{QStringLiteral("甲"), QVariantMap{{QStringLiteral("乙"), QStringList{QStringLiteral("丙")}}}};
    {
        SettingsDefaults store(folder, QString(), never);
        store.setValue(QStringLiteral("list"), list);
        store.setInteger(QStringLiteral("speed"), 300);
    }
    QByteArray stored;
    QDataStream out(&stored, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    out << QVariant(list);
    const QString index = folder + u'/' + DefaultsFileStore::indexName;
    QByteArray damaged = contents(index);
    const qsizetype at = damaged.indexOf(stored);
    ASSERT_GE(at, 0);
    // The length follows the type and the null flag.
    qToBigEndian<quint32>(1u << 25, damaged.data() + at + 5);
    QFile file(index);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(damaged), damaged.size());
    file.close();

    DefaultsFileStore store(folder);
    const qint64 peakBefore = peakAddressSpace();
    const auto values = store.load();
    EXPECT_LT(peakAddressSpace() - peakBefore, 256 << 10) << "KiB of address space taken while loading";
    ASSERT_TRUE(values.has_value());
    EXPECT_EQ(values->value(QStringLiteral("list")), QVariant(list));
    EXPECT_EQ(values->value(QStringLiteral("speed")), QVariant(qint64(300)));
    EXPECT_EQ(store.damage().index, DefaultsStoreDamage::Index::restoredFromCopy);
    ASSERT_EQ(store.damage().setAside.size(), 1);
    EXPECT_EQ(contents(store.damage().setAside.front()), damaged);
}

TEST(DefaultsFileStore, AnIndexThatIsAFifoIsSetAsideAndTheCopyRead)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("defaults"));
    writeStore(folder);
    const QString index = folder + u'/' + DefaultsFileStore::indexName;
    ASSERT_TRUE(QFile::remove(index));
    ASSERT_EQ(::mkfifo(QFile::encodeName(index).constData(), 0600), 0);
    auto opening = std::async(std::launch::async, [&] { return std::make_unique<SettingsDefaults>(folder, QString(), never); });
    if (opening.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        const int writer = ::open(QFile::encodeName(index).constData(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            ::close(writer);
        opening.wait();
        FAIL() << "opening the store waited on the index";
    }
    const auto store = opening.get();
    EXPECT_EQ(store->data(big), bigValue('a'));
    EXPECT_EQ(store->integer(QStringLiteral("speed")), 300);
    EXPECT_EQ(store->damageFound().index, DefaultsStoreDamage::Index::restoredFromCopy);
    ASSERT_EQ(store->damageFound().setAside.size(), 1);
    EXPECT_TRUE(store->damageFound().setAside.front().startsWith(index + QStringLiteral(".unreadable-")));
}

namespace {

QStringList piecesIn(const QString& folder) { return QDir(folder).entryList({QStringLiteral("piece-*.dat")}, QDir::Files); }

// Megabytes with a counter in the middle, as a project's reading position sits
// among the other projects.
QByteArray manyMegabytes(int n, qsizetype inserted = 0)
{
    QByteArray value(3 << 20, 'p');
    for (qsizetype i = 0; i < value.size(); i += 97)
        value[i] = static_cast<char>('a' + (i / 97) % 26);
    value.insert(value.size() / 2, QByteArray("n=") + QByteArray::number(n) + QByteArray(inserted, 'i') + ';');
    return value;
}

} // namespace

// A change in the middle of a very large value rewrites only the pieces it
// touches, also when it changes the value's length; the value reads back whole.
TEST(DefaultsFileStore, AChangeInsideAVeryLargeValueRewritesOnlyThePiecesItTouches)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("defaults"));
    SettingsDefaults store(folder, QString(), never);
    store.setData(big, manyMegabytes(1));
    ASSERT_FALSE(store.flush().has_value());
    const QStringList first = piecesIn(folder);
    ASSERT_GE(first.size(), 3 * (1 << 20) / DefaultsFileStore::pieceBytes);

    for (const auto& [n, inserted] : {std::pair{2, qsizetype(0)}, std::pair{3, qsizetype(5000)}, std::pair{4, qsizetype(0)}}) {
        SCOPED_TRACE(n);
        const QStringList before = piecesIn(folder);
        store.setData(big, manyMegabytes(n, inserted));
        ASSERT_FALSE(store.flush().has_value());
        const QStringList after = piecesIn(folder);
        QStringList added;
        for (const QString& name : after)
            if (!before.contains(name))
                added.append(name);
        EXPECT_LE(added.size(), 2) << "a small change rewrote " << added.size() << " pieces";
        EXPECT_GE(after.size() - added.size(), before.size() - 2);
        EXPECT_EQ(SettingsDefaults(folder, QString(), never).data(big), manyMegabytes(n, inserted));
    }
    // Leftovers of replaced pieces are gone.
    store.setData(big, QByteArray("small now"));
    ASSERT_FALSE(store.flush().has_value());
    EXPECT_TRUE(piecesIn(folder).isEmpty());
}

// A value kept whole by an earlier version is read, then kept in pieces.
TEST(DefaultsFileStore, AVeryLargeValueKeptWholeIsReadAndThenKeptInPieces)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("defaults"));
    {
        SettingsDefaults whole(folder, QString(), never, 2.0, std::numeric_limits<qsizetype>::max());
        whole.setData(big, manyMegabytes(1));
    }
    EXPECT_TRUE(piecesIn(folder).isEmpty());
    {
        SettingsDefaults store(folder, QString(), never);
        EXPECT_EQ(store.data(big), manyMegabytes(1));
        store.setData(big, manyMegabytes(2));
    }
    EXPECT_FALSE(piecesIn(folder).isEmpty());
    EXPECT_EQ(SettingsDefaults(folder, QString(), never).data(big), manyMegabytes(2));
}

// A piece gone: the value cannot be put together, so its list is set aside,
// the pieces left go aside together, and both are named.
TEST(DefaultsFileStore, AValueMissingAPieceIsSetAsideWithTheRestOfItsPieces)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("defaults"));
    {
        SettingsDefaults store(folder, QString(), never);
        store.setData(big, manyMegabytes(1));
        store.setInteger(QStringLiteral("speed"), 300);
    }
    const QStringList pieces = piecesIn(folder);
    ASSERT_GT(pieces.size(), 2);
    QFile::remove(folder + u'/' + pieces.front());

    {
        SettingsDefaults store(folder, QString(), never);
        EXPECT_FALSE(store.contains(big));
        EXPECT_EQ(store.integer(QStringLiteral("speed")), 300);
        const DefaultsStoreDamage damage = store.damageFound();
        ASSERT_EQ(damage.setAside.size(), 1);
        ASSERT_EQ(damage.unaccounted.size(), 1);
        EXPECT_EQ(QDir(damage.unaccounted.front()).entryList(QDir::Files).size(), pieces.size() - 1);
        store.setInteger(QStringLiteral("speed"), 320);
    }
    EXPECT_TRUE(SettingsDefaults(folder, QString(), never).damageFound().isEmpty());
}

// A save that finds the disk full takes what it wrote with it at once, so a
// retry never eats the room the speaker frees, and the stored values stay.
TEST(DefaultsFileStore, AFailedWriteOnAFullDiskLeavesNoPiecesBehind)
{
    QTemporaryDir disk;
    if (::mount("tmpfs", QFile::encodeName(disk.path()).constData(), "tmpfs", 0, "size=1m,mode=0700") != 0)
        GTEST_SKIP() << "no tmpfs can be mounted here";
    struct Unmount {
        QByteArray path;
        ~Unmount() { ::umount2(path.constData(), MNT_DETACH); }
    } unmount{QFile::encodeName(disk.path())};
    const QString folder = disk.filePath(QStringLiteral("defaults"));
    DefaultsFileStore store(folder, 64 << 10);
    QMap<QString, QVariant> values{{QStringLiteral("speed"), 300}, {big, QVariant(QByteArray(200 << 10, 'a'))}};
    ASSERT_TRUE(store.write(values));
    const QStringList before = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);

    values.insert(big, QVariant(QByteArray(3 << 20, 'b')));
    for (int attempt = 0; attempt < 3; ++attempt) {
        SCOPED_TRACE(attempt);
        const auto written = store.write(values);
        ASSERT_FALSE(written);
        EXPECT_EQ(written.error(), std::errc::no_space_on_device);
        EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot), before);
    }
    DefaultsFileStore reread(folder);
    const auto stored = reread.load();
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->value(big).toByteArray(), QByteArray(200 << 10, 'a'));
}
