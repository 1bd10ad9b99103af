#include "BackupFixtures.h"
#include "MountedDrive.h"

#include "model/ProjectBackupPackage.h"
#include "model/StagingFolder.h"
#include "platform/files/AtomicFileWrite.h"
#include "platform/files/TreeRemoval.h"
#include "support/QtPrinting.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QJsonObject>

#include <csignal>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quorvia;
using namespace quorvia::test;

namespace {

class BackupDurabilityTest : public BackupPackageTest {
protected:
    // A backup of one project whose deck is a file holding `bytes`.
    PresentationProjectsBackup backupWithDeck(const QByteArray& bytes)
    {
        const QString deck = deckFile("decks/" + platform::uuidString(platform::newUuid()) + ".key", bytes);
        return backupOf({backupProject(QStringLiteral("讲稿"), deck)});
    }

    // The bytes of the deck in the package at `package`, as an import brings them in.
    std::string deckIn(const QString& package) const
    {
        const auto imported = ProjectBackupPackage::importBackup(package, store());
        return imported ? readFile(imported->projects.front().deck->filePath).toStdString() : "<not importable>";
    }

    // A staging folder that an export killed part way through its copy left in the exports folder.
    QString deadStagingFolder()
    {
        const pid_t killed = exportInChild(backupWithDeck(QByteArray(2 << 20, 'd')), exportsFolder() + "/全部.quorviabackup",
                                           [] { onFileSizeLimit(1 << 20, [](int) { ::raise(SIGKILL); }); });
        int status = 0;
        if (killed <= 0 || ::waitpid(killed, &status, 0) != killed || !WIFSIGNALED(status))
            return {};
        const QStringList left = stagingFoldersIn(exportsFolder());
        return left.size() == 1 ? exportsFolder() + u'/' + left.front() : QString();
    }
};

// Every item below `folder` with a digest of its bytes.
QStringList treeBytes(const QString& folder)
{
    QStringList out = listTree(folder);
    for (QString& item : out)
        item += u'=' + QCryptographicHash::hash(readFile(folder + u'/' + item), QCryptographicHash::Sha256).toHex();
    return out;
}

// An export over `target` killed outright at its `nth` step `at`.
void exportKilledAt(const PresentationProjectsBackup& backup, const QString& target, StagingFolder::Step at, int nth)
{
    ::waitpid(exportInChild(backup, target, [=] {
        StagingFolder::onStep = [=, seen = 0](StagingFolder::Step step) mutable {
            if (step == at && seen++ == nth)
                ::raise(SIGKILL);
        };
    }), nullptr, 0);
}

// Bytes no file system makes of nothing, different for each day.
QByteArray deckBytes(char day) { return QByteArray(3 << 20, day); }

} // namespace

// The power is cut right after an export over an old backup said it was done:
// what the drive holds then (the journal committed, as its timer does within
// seconds, no file's data written back) has under the name the old deck or
// the new one, byte for byte; never a package of the right sizes and zeros.
TEST_F(BackupDurabilityTest, APowerCutRightAfterAnExportLeavesTheOldPackageOrTheNewWhole)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "a drive of its own needs root to mount";
    ASSERT_TRUE(MountedDrive::makeExt4Image(path("drive.img"), 64));
    MountedDrive drive(MountedDrive::Kind::ext4Image, path("drive.img"));
    ASSERT_TRUE(drive.mounted());
    const QString backup = drive.path("全部.quorviabackup");
    ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupWithDeck(deckBytes('s')), backup));
    ::sync();
    ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupWithDeck(deckBytes('m')), backup));

    const int other = ::open(QFile::encodeName(drive.path("other")).constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::fsync(other), 0); // commits the journal, and with it every rename so far
    ::close(other);
    ASSERT_TRUE(QFile::copy(path("drive.img"), path("after.img")));
    MountedDrive after(MountedDrive::Kind::ext4Image, path("after.img"));
    ASSERT_TRUE(after.mounted());

    const QByteArray deck = QByteArray::fromStdString(deckIn(after.path("全部.quorviabackup")));
    EXPECT_TRUE(deck == deckBytes('m') || deck == deckBytes('s'))
        << deck.size() << " bytes beginning with " << deck.left(16).toHex().toStdString();
}

// Someone renames the backup away between the renames that put it in place and
// the export's check of the name, on a drive with an atomic exchange and on one
// without. Nothing is emptied: the new package stays where it went, the old one
// goes back under the name when it is free, and while the name is taken it
// waits, through any sweep, until it is free.
TEST_F(BackupDurabilityTest, ABackupRenamedAwayDuringTheExportCostsNoPackage)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "drives of its own need root to mount";
    ASSERT_TRUE(MountedDrive::makeExt4Image(path("drive.img"), 32));
    QDir().mkpath(path("real"));
    for (const auto kind : {MountedDrive::Kind::ext4Image, MountedDrive::Kind::bindfs}) {
        SCOPED_TRACE(kind == MountedDrive::Kind::ext4Image ? "ext4" : "bindfs");
        MountedDrive drive(kind, kind == MountedDrive::Kind::ext4Image ? path("drive.img") : path("real"));
        ASSERT_TRUE(drive.mounted());
        const QByteArray name = QFile::encodeName(drive.path("全部.quorviabackup"));
        const QByteArray moved = QFile::encodeName(drive.path("moved.quorviabackup"));
        ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupWithDeck("sunday"), QFile::decodeName(name)));

        StagingFolder::onStep = [&](StagingFolder::Step step) {
            if (step == StagingFolder::Step::renamed)
                ::rename(name.constData(), moved.constData());
        };
        const auto freed = ProjectBackupPackage::exportBackup(backupWithDeck("monday"), QFile::decodeName(name));
        StagingFolder::onStep = nullptr;
        EXPECT_EQ(failureText(freed), QStringLiteral("导出的备份刚放到所选位置就被他人移走或改名，新备份留在了它被移到的地方；原来的备份已放回原处。"));
        EXPECT_EQ(deckIn(QFile::decodeName(name)), "sunday");
        EXPECT_EQ(deckIn(QFile::decodeName(moved)), "monday");
        EXPECT_TRUE(stagingFoldersIn(drive.path()).isEmpty());

        platform::removeTree(moved.constData());
        const pid_t child = exportInChild(backupWithDeck("tuesday"), QFile::decodeName(name), [&] {
            StagingFolder::onStep = [&](StagingFolder::Step step) {
                if (step == StagingFolder::Step::renamed && ::rename(name.constData(), moved.constData()) == 0)
                    ::mkdir(name.constData(), 0700);
            };
        });
        ASSERT_GT(child, 0);
        ASSERT_EQ(::waitpid(child, nullptr, 0), child);
        ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupWithDeck("other"), drive.path("其他.quorviabackup")));
        EXPECT_EQ(stagingFoldersIn(drive.path()).size(), 1) << "the old package was not kept while its name was taken";
        EXPECT_EQ(deckIn(QFile::decodeName(moved)), "tuesday");
        ASSERT_EQ(::rmdir(name.constData()), 0);
        ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupWithDeck("other"), drive.path("其他.quorviabackup")));
        EXPECT_EQ(deckIn(QFile::decodeName(name)), "sunday");
        EXPECT_TRUE(stagingFoldersIn(drive.path()).isEmpty());
    }
}

// A folder of the same file system bind-mounted inside a dead export's staging
// folder is no part of it: the sweep that removes the folder keeps its files.
TEST_F(BackupDurabilityTest, ABindMountInsideADeadStagingFolderKeepsItsFiles)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "a bind mount needs root";
    const QString dead = deadStagingFolder();
    ASSERT_FALSE(dead.isEmpty()) << "no export was killed part way";
    writeFile(path("elsewhere/slides.txt"), "mine");
    const MountedDrive inside(path("elsewhere"), dead + "/package/Documents/mine");
    ASSERT_TRUE(inside.mounted());

    ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupWithDeck("small"), exportsFolder() + "/其他.quorviabackup"));
    EXPECT_EQ(readFile(path("elsewhere/slides.txt")).toStdString(), "mine");
}

// An export killed between making its staging folder and naming its record
// leaves a folder nothing would ever judge; once clearly older than any export
// at that step could be, the next export takes it away. A fresh one stays: its
// export may still be writing the record.
TEST_F(BackupDurabilityTest, AStagingFolderWithoutItsRecordGoesOnceClearlyOld)
{
    const QString old = exportsFolder() + "/.QuorviaBackup-" + platform::uuidString(platform::newUuid());
    const QString fresh = exportsFolder() + "/.QuorviaBackup-" + platform::uuidString(platform::newUuid());
    const QString holding = exportsFolder() + "/.QuorviaBackup-" + platform::uuidString(platform::newUuid());
    for (const QString& folder : {old, fresh, holding})
        writeFile(folder + "/export.json.tmp-00000000deadbeef", "{\"kind\":");
    writeFile(holding + "/package/manifest.json", "{}");
    const timespec twoDaysAgo[2] = {{::time(nullptr) - 2 * 24 * 3600, 0}, {::time(nullptr) - 2 * 24 * 3600, 0}};
    for (const QString& folder : {old, holding})
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(folder).constData(), twoDaysAgo, 0), 0);

    ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupWithDeck("deck"), exportsFolder() + "/全部.quorviabackup"));
    EXPECT_FALSE(QFileInfo::exists(old));
    EXPECT_TRUE(QFileInfo::exists(fresh + "/export.json.tmp-00000000deadbeef"));
    EXPECT_TRUE(QFileInfo::exists(holding + "/package/manifest.json")) << "a folder holding more than its unfinished record went";
}

// The machine's host name changed since an export was killed: its record, of
// this very boot, is still judged by its process, and the folder goes.
TEST_F(BackupDurabilityTest, ARecordOfThisBootWithAnotherHostNameIsJudgedByItsProcess)
{
    const QString dead = deadStagingFolder();
    ASSERT_FALSE(dead.isEmpty()) << "no export was killed part way";
    QJsonObject record = QJsonDocument::fromJson(readFile(dead + "/export.json")).object();
    ASSERT_TRUE(record.value("machine").toString().contains(u'/'));
    record.insert("machine", record.value("machine").toString().section(u'/', 0, 0) + "/another-name");
    writeFile(dead + "/export.json", QJsonDocument(record).toJson());

    ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupWithDeck("small"), exportsFolder() + "/其他.quorviabackup"));
    EXPECT_FALSE(QFileInfo::exists(dead));
}

// Another user renames a group-writable folder of the speaker's to a staging
// name and writes a record of a dead export there: not ours, so not judged.
TEST_F(BackupDurabilityTest, ARecordSomeoneElseWroteDecidesNoRemoval)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "a record of another user's needs root to make";
    const QString dead = deadStagingFolder();
    ASSERT_FALSE(dead.isEmpty()) << "no export was killed part way";
    ASSERT_EQ(::chown(QFile::encodeName(dead + "/export.json").constData(), 65534, 65534), 0);
    ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupWithDeck("small"), exportsFolder() + "/其他.quorviabackup"));
    EXPECT_TRUE(QFileInfo::exists(dead + "/package"));
}

// In a shared folder without the sticky bit, someone renames the old backup
// away mid-copy and puts a folder of theirs under its name, on a drive with an
// atomic exchange and on one without: it goes back under the name, whole, and
// the next sweep leaves it too.
TEST_F(BackupDurabilityTest, AFolderPutUnderTheNameDuringTheCopySurvivesTheExportAndTheSweep)
{
    QDir().mkpath(path("real"));
    const MountedDrive drive(MountedDrive::Kind::bindfs, path("real"));
    for (const QString& folder : drive.mounted() ? QStringList{exportsFolder(), drive.path()} : QStringList{exportsFolder()}) {
        const QString name = folder + "/全部.quorviabackup";
        ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupWithDeck("sunday"), name));
        StagingFolder::onStep = [&](StagingFolder::Step step) {
            if (step == StagingFolder::Step::folderMade && QDir().rename(name, folder + "/moved.quorviabackup"))
                writeFile(name + "/theirs.txt", "theirs");
        };
        const auto replaced = ProjectBackupPackage::exportBackup(backupWithDeck("monday"), name);
        StagingFolder::onStep = nullptr;
        EXPECT_EQ(failureText(replaced), QStringLiteral("导出时所选位置的备份被换成了别的项目，未写入备份；那个项目已放回原处。"));
        ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupWithDeck("other"), folder + "/其他.quorviabackup"));
        EXPECT_EQ(readFile(name + "/theirs.txt"), "theirs");
        EXPECT_EQ(deckIn(folder + "/moved.quorviabackup"), "sunday");
    }
}

// An I/O error (EIO, ENOSPC) at any one sync of an export over an old backup:
// whenever the export says it failed, the name holds the old package byte for byte.
TEST_F(BackupDurabilityTest, AnExportThatSaysItFailedLeavesTheOldPackageByteForByte)
{
    const QString name = exportsFolder() + "/全部.quorviabackup";
    const std::shared_ptr<void> restore(nullptr, [](void*) { platform::onSync = nullptr; });
    for (int failing = 1, injected = 1; injected; ++failing) {
        SCOPED_TRACE(failing);
        ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupWithDeck("sunday"), name));
        const QStringList before = treeBytes(name);
        injected = 0;
        platform::onSync = [&, count = 0](int) mutable { return ++count == failing ? (injected = failing % 2 ? EIO : ENOSPC) : 0; };
        const auto exported = ProjectBackupPackage::exportBackup(backupWithDeck("monday"), name);
        platform::onSync = nullptr;
        EXPECT_TRUE(exported || treeBytes(name) == before) << failureText(exported).toStdString();
    }
}

// A finished export killed at any removal of its clean-up: the record outlives
// what it speaks for, so the next export's sweep leaves no package hidden.
TEST_F(BackupDurabilityTest, AKillAtAnyRemovalOfTheCleanUpHidesNoPackage)
{
    const QString name = exportsFolder() + "/全部.quorviabackup";
    ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupWithDeck("sunday"), name));
    for (int removal = 0; removal < 4; ++removal) {
        exportKilledAt(backupWithDeck("monday"), name, StagingFolder::Step::removing, removal);
        ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupWithDeck("other"), exportsFolder() + "/其他.quorviabackup"));
        EXPECT_TRUE(listTree(exportsFolder()).filter(QRegularExpression("^\\.QuorviaBackup-[^/]*/(package|previous)$")).isEmpty()) << removal;
    }
}

// An export killed right after its renames on a FUSE drive, which comes back
// under another device number when mounted again: the sweep still knows the
// package under the name for the one built, and takes the old one away.
TEST_F(BackupDurabilityTest, ACrashAfterTheRenamesOnADriveMountedAgainHidesNoPackage)
{
    QDir().mkpath(path("real"));
    const MountedDrive first(MountedDrive::Kind::bindfs, path("real"));
    if (!first.mounted())
        GTEST_SKIP() << "drives of its own need root to mount";
    ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupWithDeck("sunday"), first.path("全部.quorviabackup")));
    exportKilledAt(backupWithDeck("monday"), first.path("全部.quorviabackup"), StagingFolder::Step::renamed, 0);
    const MountedDrive again(MountedDrive::Kind::bindfs, path("real"));
    struct stat before {}, after {};
    ASSERT_TRUE(::stat(QFile::encodeName(first.path()).constData(), &before) == 0 && ::stat(QFile::encodeName(again.path()).constData(), &after) == 0);
    ASSERT_NE(before.st_dev, after.st_dev);
    ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupWithDeck("other"), again.path("其他.quorviabackup")));
    EXPECT_TRUE(stagingFoldersIn(again.path()).isEmpty());
    EXPECT_EQ(deckIn(again.path("全部.quorviabackup")), "monday");
}

// Between the renames and the removal of the old package, the folder holding
// the name is synced: otherwise a power cut may find neither package under it.
TEST_F(BackupDurabilityTest, TheNewNameIsSyncedBeforeTheOldPackageGoes)
{
    ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupWithDeck("sunday"), exportsFolder() + "/全部.quorviabackup"));
    const QFileInfo folder(exportsFolder());
    QString order;
    platform::onSync = [&](int fd) {
        order += QFileInfo("/proc/self/fd/" + QString::number(fd)) == folder ? u's' : u'.';
        return 0;
    };
    StagingFolder::onStep = [&](StagingFolder::Step step) { order += step == StagingFolder::Step::renamed ? u'r' : step == StagingFolder::Step::removing ? u'x' : u'.'; };
    const auto exported = ProjectBackupPackage::exportBackup(backupWithDeck("monday"), exportsFolder() + "/全部.quorviabackup");
    platform::onSync = nullptr;
    StagingFolder::onStep = nullptr;
    ASSERT_TRUE(exported);
    EXPECT_TRUE(QRegularExpression("r[^x]*s[^r]*x").match(order).hasMatch()) << order.toStdString();
}

// A stick that cannot say where a file's holes are shows all of it as data; a
// sparse deck imported from there still takes no more room than its data.
TEST_F(BackupDurabilityTest, ASparseDeckImportedFromADriveThatHidesItsHolesStaysSparse)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "a drive through bindfs needs root to mount";
    const qint64 size = qint64(64) << 20;
    makeSparse(path("decks/talk.key"), size);
    const int deck = ::open(QFile::encodeName(path("decks/talk.key")).constData(), O_WRONLY | O_CLOEXEC);
    ASSERT_EQ(::pwrite(deck, "slide", 5, size / 2 + 1), 5);
    ::close(deck);
    ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupOf({backupProject("讲稿", path("decks/talk.key"))}),
                                                   exportsFolder() + "/全部.quorviabackup"));
    MountedDrive stick(MountedDrive::Kind::bindfs, exportsFolder());
    ASSERT_TRUE(stick.mounted());

    const auto imported = ProjectBackupPackage::importBackup(stick.path("全部.quorviabackup"), path("store"));
    ASSERT_TRUE(imported) << failureText(imported).toStdString();
    QFile copy(imported->projects.front().deck->filePath);
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    struct stat status {};
    ASSERT_EQ(::fstat(copy.handle(), &status), 0);
    EXPECT_EQ(status.st_size, size);
    EXPECT_LT(status.st_blocks * 512, qint64(1) << 20) << "the copy filled its holes";
    EXPECT_EQ(copy.read(4), "deck");
    ASSERT_TRUE(copy.seek(size / 2 + 1));
    EXPECT_EQ(copy.read(5), "slide");
}
