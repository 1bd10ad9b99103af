#include "BackupFixtures.h"
#include "DriveImage.h"
#include "MountedDrive.h"

#include "model/ProjectBackupPackage.h"
#include "model/ProjectDocumentStore.h"
#include "model/StagingFolder.h"
#include "platform/files/AtomicFileWrite.h"
#include "platform/files/FileDescriptor.h"
#include "platform/files/TreeRemoval.h"
#include "support/QtPrinting.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QJsonObject>

#include <csignal>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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
        const auto imported = ProjectBackupPackage::importBackup(package, nullptr, store());
        return imported ? readFile(imported->projects.front().deck->filePath).toStdString() : "<not importable>";
    }

    // The staging folder an export in a child left once `signal` stopped or
    // killed it part way through its copy; the child in `child`.
    template <int signal>
    QString stagingFolderPartWay(pid_t& child)
    {
        child = exportInChild(backupWithDeck(QByteArray(2 << 20, 'd')), exportsFolder() + "/全部.quorviabackup",
                              [] { onFileSizeLimit(1 << 20, [](int) { ::raise(signal); }); });
        int status = 0;
        if (child <= 0 || ::waitpid(child, &status, WUNTRACED) != child || !(WIFSIGNALED(status) || WIFSTOPPED(status)))
            return {};
        const QStringList left = stagingFoldersIn(exportsFolder());
        return left.size() == 1 ? exportsFolder() + u'/' + left.front() : QString();
    }

    QString deadStagingFolder()
    {
        pid_t child = 0;
        return stagingFolderPartWay<SIGKILL>(child);
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

// An export over `target` killed outright at its `nth` step `at`, after `also`
// saw each step; false when it had no such step.
bool exportKilledAt(const PresentationProjectsBackup& backup, const QString& target, StagingFolder::Step at, int nth,
                    const std::function<void(StagingFolder::Step)>& also = {})
{
    int status = 0;
    ::waitpid(exportInChild(backup, target, [=] {
        StagingFolder::onStep = [=, seen = 0](StagingFolder::Step step) mutable {
            if (also)
                also(step);
            if (step == at && seen++ == nth)
                ::raise(SIGKILL);
        };
    }), &status, 0);
    return WIFSIGNALED(status);
}

// Bytes no file system makes of nothing, different for each day.
QByteArray deckBytes(char day) { return QByteArray(3 << 20, day); }

} // namespace

// The power is cut right after an export over an old backup said it was done:
// what the drive holds then (the journal committed, as its timer does within
// seconds, no file's data written back) has under the name the old deck or
// the new one, byte for byte; never a package of the right sizes and zeros.
// So too the new deck imported from it, and bound, into a store on the drive.
TEST_F(BackupDurabilityTest, APowerCutRightAfterAnExportLeavesTheOldPackageOrTheNewWhole)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "a drive of its own needs root to mount";
    const DriveImage image = DriveImage::ext4(64);
    ASSERT_TRUE(image.made());
    MountedDrive drive(MountedDrive::Kind::ext4Image, image.path());
    ASSERT_TRUE(drive.mounted());
    const QString backup = drive.path("全部.quorviabackup");
    ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupWithDeck(deckBytes('s')), backup));
    ::sync();
    const PresentationProjectsBackup monday = backupWithDeck(deckBytes('m'));
    ASSERT_TRUE(ProjectBackupPackage::exportBackup(monday, backup));
    const auto imported = ProjectBackupPackage::importBackup(backup, nullptr, drive.path("store"));
    const auto bound = ProjectDocumentStore::copyDocument(monday.projects.front().deck->filePath, drive.path("store"));
    ASSERT_TRUE(imported && bound);

    const int other = ::open(QFile::encodeName(drive.path("other")).constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::fsync(other), 0); // commits the journal, and with it every rename so far
    ::close(other);
    MountedDrive after(MountedDrive::Kind::ext4Image, image.copy().path());
    ASSERT_TRUE(after.mounted());

    const QByteArray deck = QByteArray::fromStdString(deckIn(after.path("全部.quorviabackup")));
    EXPECT_TRUE(deck == deckBytes('m') || deck == deckBytes('s'))
        << deck.size() << " bytes beginning with " << deck.left(16).toHex().toStdString();
    for (const QString& copy : {imported->projects.front().deck->filePath, *bound})
        EXPECT_TRUE(readFile(after.path(copy.mid(drive.path().size() + 1))) == deckBytes('m')) << copy.toStdString();
}

// Someone renames the backup away between the renames that put it in place and
// the export's check of the name, on a drive with an atomic exchange and on one
// without. Nothing is emptied: the new package stays where it went, the old one
// goes back under the name when it is free, and while the name is taken it
// waits, through any sweep, until it is free: also when a failing stick lets
// no record say it was kept.
TEST_F(BackupDurabilityTest, ABackupRenamedAwayDuringTheExportCostsNoPackage)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "drives of its own need root to mount";
    const DriveImage image = DriveImage::ext4(32);
    ASSERT_TRUE(image.made());
    QDir().mkpath(path("real"));
    for (const auto kind : {MountedDrive::Kind::ext4Image, MountedDrive::Kind::bindfs}) {
        SCOPED_TRACE(kind == MountedDrive::Kind::ext4Image ? "ext4" : "bindfs");
        MountedDrive drive(kind, kind == MountedDrive::Kind::ext4Image ? image.path() : path("real"));
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
        // The new package comes back under the name: the old one waits on.
        ASSERT_EQ(::rmdir(name.constData()), 0);
        ASSERT_EQ(::rename(moved.constData(), name.constData()), 0);
        ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupWithDeck("other"), drive.path("其他.quorviabackup")));
        EXPECT_EQ(stagingFoldersIn(drive.path()).size(), 1) << "the old package the export said it kept went";
        platform::removeTree(name.constData());
        ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupWithDeck("other"), drive.path("其他.quorviabackup")));
        EXPECT_EQ(deckIn(QFile::decodeName(name)), "sunday");
        EXPECT_TRUE(stagingFoldersIn(drive.path()).isEmpty());

        // Every sync fails from the renames on, so the undo finds the name
        // empty and the record that keeps the old package fails to write.
        int failing = -1;
        const pid_t failed = exportInChild(backupWithDeck("wednesday"), QFile::decodeName(name), [&] {
            StagingFolder::onStep = [&](StagingFolder::Step at) { failing = at == StagingFolder::Step::renamed ? ::rename(name.constData(), moved.constData()) : failing; };
            platform::onSync = [&](int) {
                if (failing >= 0 && failing++ == 1) // the record's sync: the new package is back by now
                    ::rename(moved.constData(), name.constData());
                return failing < 0 ? 0 : EIO;
            };
        });
        ASSERT_EQ(::waitpid(failed, nullptr, 0), failed);
        ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupWithDeck("other"), drive.path("其他.quorviabackup")));
        platform::removeTree(name.constData());
        ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupWithDeck("other"), drive.path("其他.quorviabackup")));
        EXPECT_EQ(deckIn(QFile::decodeName(name)), "sunday");
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

// A staging folder an export left before naming its record goes with the next
// export once the lock on its unfinished record says its export is gone, or,
// empty, once ten minutes old. A fresh one stays, an empty one a minute old,
// and one whose export stopped as it made its record, however long ago: that
// export goes on and ends with its backup whole.
TEST_F(BackupDurabilityTest, AStagingFolderWithoutItsRecordGoesOnceItsExportIsGone)
{
    const pid_t child = exportInChild(backupWithDeck("deck"), exportsFolder() + "/其他.quorviabackup", [] {
        StagingFolder::onStep = [stopped = false](StagingFolder::Step step) mutable {
            if (step == StagingFolder::Step::recordBegun && !std::exchange(stopped, true))
                ::raise(SIGSTOP);
        };
    });
    const std::shared_ptr<void> reap(nullptr, [&](void*) { if (child > 0 && ::kill(child, SIGKILL) == 0) ::waitpid(child, nullptr, 0); });
    int stopped = 0;
    ASSERT_TRUE(child > 0 && ::waitpid(child, &stopped, WUNTRACED) == child && WIFSTOPPED(stopped)) << "no export was stopped at its record";
    const QString running = exportsFolder() + u'/' + stagingFoldersIn(exportsFolder()).value(0);
    const QString old = exportsFolder() + "/.QuorviaBackup-" + platform::uuidString(platform::newUuid());
    const QString fresh = exportsFolder() + "/.QuorviaBackup-" + platform::uuidString(platform::newUuid());
    const QString holding = exportsFolder() + "/.QuorviaBackup-" + platform::uuidString(platform::newUuid());
    const QString empty = exportsFolder() + "/.QuorviaBackup-" + platform::uuidString(platform::newUuid());
    const QString emptyNewer = exportsFolder() + "/.QuorviaBackup-" + platform::uuidString(platform::newUuid());
    for (const QString& folder : {old, fresh, holding})
        writeFile(folder + "/export.json.tmp-00000000deadbeef", "{\"kind\":");
    writeFile(holding + "/package/manifest.json", "{}");
    ASSERT_TRUE(QDir().mkpath(empty) && QDir().mkpath(emptyNewer));
    for (const auto& [folder, minutes] : {std::pair(old, 1), std::pair(holding, 11), std::pair(running, 11), std::pair(empty, 11), std::pair(emptyNewer, 1)}) {
        const timespec ago[2] = {{::time(nullptr) - minutes * 60, 0}, {::time(nullptr) - minutes * 60, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(folder).constData(), ago, 0), 0);
    }

    ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupWithDeck("deck"), exportsFolder() + "/全部.quorviabackup"));
    EXPECT_FALSE(QFileInfo::exists(old));
    EXPECT_FALSE(QFileInfo::exists(empty));
    EXPECT_TRUE(QFileInfo::exists(fresh + "/export.json.tmp-00000000deadbeef"));
    EXPECT_TRUE(QFileInfo::exists(running)) << "the folder of an export writing its record went";
    EXPECT_TRUE(QFileInfo::exists(emptyNewer)) << "an empty folder went before ten minutes";
    EXPECT_TRUE(QFileInfo::exists(holding + "/package/manifest.json")) << "a folder holding more than its unfinished record went";
    ASSERT_EQ(::kill(child, SIGCONT), 0);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    EXPECT_EQ(deckIn(exportsFolder() + "/其他.quorviabackup"), "deck") << "the export stopped as it made its record lost its folder";
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

// A dead export's record with a second name, through which anyone may have
// written it, and another user's record in a group-writable folder of the
// speaker's renamed to a staging name: not ours, so not judged.
TEST_F(BackupDurabilityTest, ARecordSomeoneElseWroteDecidesNoRemoval)
{
    const QString linked = deadStagingFolder();
    ASSERT_EQ(::link(QFile::encodeName(linked + "/export.json").constData(), QFile::encodeName(path("second")).constData()), 0);
    ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupWithDeck("small"), exportsFolder() + "/其他.quorviabackup"));
    EXPECT_TRUE(QFileInfo::exists(linked + "/package"));
    ASSERT_TRUE(QFile::remove(path("second")));

    if (::geteuid() != 0)
        GTEST_SKIP() << "a record of another user's needs root to make";
    const QString dead = deadStagingFolder();
    ASSERT_FALSE(dead.isEmpty()) << "no export was killed part way";
    ASSERT_EQ(::chown(QFile::encodeName(dead + "/export.json").constData(), 65534, 65534), 0);
    ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupWithDeck("small"), exportsFolder() + "/其他.quorviabackup"));
    EXPECT_TRUE(QFileInfo::exists(dead + "/package"));
}

// A folder someone put into a dead export's staging folder under the name a
// removal gives its items, with another item's number, is no item of that
// export's: the sweep keeps it where it is.
TEST_F(BackupDurabilityTest, AFolderNamedAsOneBeingRemovedIsNotTakenForOne)
{
    const QString dead = deadStagingFolder();
    ASSERT_FALSE(dead.isEmpty()) << "no export was killed part way";
    struct stat other {};
    ASSERT_EQ(::stat(QFile::encodeName(dead + "/package/Documents").constData(), &other), 0);
    const QString theirs = dead + "/removing-" + QString::number(other.st_ino) + "/theirs.txt";
    writeFile(theirs, "theirs");
    ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupWithDeck("small"), exportsFolder() + "/其他.quorviabackup"));
    EXPECT_EQ(readFile(theirs), "theirs");
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

// An export over an old backup killed at any removal of its clean-up, then the
// next at the same removal of its sweep, on drives listing a package's files in
// either order (the second ext4 drive lists its manifest first): the next sweep
// finishes each removal, and no package is left hidden.
TEST_F(BackupDurabilityTest, AKillAtAnyRemovalOfTheCleanUpHidesNoPackage)
{
    std::vector<std::unique_ptr<MountedDrive>> drives;
    QStringList folders{exportsFolder()};
    for (const QString seed : {"00000001-0000-4000-8000-000000000000", "00000005-0000-4000-8000-000000000000"})
        if (const DriveImage image = DriveImage::ext4(16, seed); image.made() && drives.emplace_back(new MountedDrive(MountedDrive::Kind::ext4Image, image.path()))->mounted())
            folders.append(drives.back()->path());
    for (const QString& folder : folders) {
        const QString name = folder + "/全部.quorviabackup", other = folder + "/其他.quorviabackup";
        ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupWithDeck("sunday"), name));
        for (int removal = 0; exportKilledAt(backupWithDeck("monday"), name, StagingFolder::Step::removing, removal); ++removal) {
            exportKilledAt(backupWithDeck("other"), other, StagingFolder::Step::removing, removal);
            ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupWithDeck("other"), other));
            EXPECT_EQ(listTree(folder).filter(QRegularExpression("^\\.QuorviaBackup-[^/]*/")), QStringList()) << removal;
        }
    }
    if (folders.size() < 3)
        GTEST_SKIP() << "not every drive was tried: the ext4 drives listing a package in either order need root, mkfs.ext4 and a loop device";
}

// On an exFAT stick, which numbers its files anew at each mount, an export
// finding the name taken is killed at each removal of its clean-up; the name
// is freed, and the stick mounted again. The next export finishes the package
// half removed and puts nothing under the name.
TEST_F(BackupDurabilityTest, APackageHalfRemovedOnAStickNumberedAnewNeverTakesTheName)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "an exFAT drive through FUSE needs root to mount";
    const DriveImage image = DriveImage::exfat(32);
    if (!image.made() || !MountedDrive(MountedDrive::Kind::exfatImage, image.path()).mounted())
        GTEST_SKIP() << "no exFAT drive could be made: it needs mkfs.exfat, losetup and mount.exfat-fuse (exfatprogs, exfat-fuse)";
    for (int removal = 0, killed = 1; killed; ++removal) {
        SCOPED_TRACE(removal);
        QString going;
        {
            const MountedDrive stick(MountedDrive::Kind::exfatImage, image.path());
            const QByteArray name = QFile::encodeName(stick.path("全部.quorviabackup"));
            killed = exportKilledAt(backupWithDeck("monday"), QFile::decodeName(name), StagingFolder::Step::removing, removal,
                                    [&](StagingFolder::Step step) { if (step == StagingFolder::Step::folderMade) ::mkdir(name.constData(), 0700); });
            ASSERT_EQ(::rmdir(name.constData()), 0);
            for (const QString& staging : stagingFoldersIn(stick.path()))
                for (const QString& item : QDir(stick.path(staging)).entryList({"removing-*"}, QDir::Dirs))
                    going = staging + u'/' + item;
        }
        const MountedDrive stick(MountedDrive::Kind::exfatImage, image.path());
        struct stat status {};
        if (!going.isEmpty()) {
            ASSERT_EQ(::stat(QFile::encodeName(stick.path(going)).constData(), &status), 0);
            ASSERT_FALSE(going.endsWith("-" + QString::number(status.st_ino))) << "the stick kept its numbers";
        }
        ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupWithDeck("other"), stick.path("其他.quorviabackup")));
        EXPECT_FALSE(QFileInfo::exists(stick.path("全部.quorviabackup")));
        EXPECT_EQ(listTree(stick.path()).filter(QRegularExpression("^\\.QuorviaBackup-[^/]*/")), QStringList());
    }
}

// Exports on an exFAT stick killed just before the package takes the name,
// just after, or as the old package takes a removal's name, then at the sweep's
// first removal or its first removal's name, the stick mounted anew each time:
// the package that never took the name goes, and the old one once the new one
// has it.
TEST_F(BackupDurabilityTest, WhatAnExportLeavesOnAStickNumberedAnewGoesAsOnAnyDrive)
{
    const DriveImage image = DriveImage::exfat(32);
    if (::geteuid() != 0 || !image.made())
        GTEST_SKIP() << "an exFAT drive through FUSE needs root, mkfs.exfat and mount.exfat-fuse";
    using Step = StagingFolder::Step;
    for (const auto& [at, sweptAt, kept] : {std::tuple(Step::previousSetAside, Step::removing, "sunday"), std::tuple(Step::renamed, Step::removing, "monday"),
                                            std::tuple(Step::previousSetAside, Step::goingNamed, "sunday"), std::tuple(Step::renamed, Step::goingNamed, "monday"),
                                            std::tuple(Step::goingNamed, Step::removing, "monday")}) {
        SCOPED_TRACE(testing::Message() << int(at) << " " << int(sweptAt));
        std::optional<MountedDrive> stick(std::in_place, MountedDrive::Kind::exfatImage, image.path());
        for (int file = 0; file < 64; ++file) // numbers here run past any the next mount hands out first
            writeFile(stick->path("filler/" + QString::number(file)), "");
        ASSERT_TRUE(stick->mounted() && ProjectBackupPackage::exportBackup(backupWithDeck("sunday"), stick->path("全部.quorviabackup")));
        ASSERT_TRUE(exportKilledAt(backupWithDeck("monday"), stick->path("全部.quorviabackup"), at, 0));
        stick.emplace(MountedDrive::Kind::exfatImage, image.path());
        ASSERT_TRUE(exportKilledAt(backupWithDeck("other"), stick->path("其他.quorviabackup"), sweptAt, 0));
        stick.emplace(MountedDrive::Kind::exfatImage, image.path());
        ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupWithDeck("other"), stick->path("其他.quorviabackup")));
        EXPECT_EQ(deckIn(stick->path("全部.quorviabackup")), kept);
        EXPECT_TRUE(stagingFoldersIn(stick->path()).isEmpty());
    }
}

// Machines made from one image share machine id and host name, so another's
// running export reads as one of an earlier boot here: its lock on its record
// keeps the sweep from its package. And were its package emptied through a
// descriptor as it takes the name, the inode there is the one built, but the
// package is not, and the export is not done.
TEST_F(BackupDurabilityTest, ARunningExportIsNeverTakenForADeadOne)
{
    pid_t child = 0;
    const QString running = stagingFolderPartWay<SIGSTOP>(child);
    const std::shared_ptr<void> reap(nullptr, [&](void*) { if (child > 0 && ::kill(child, SIGKILL) == 0) ::waitpid(child, nullptr, 0); });
    ASSERT_FALSE(running.isEmpty()) << "no export was stopped part way";
    QJsonObject record = QJsonDocument::fromJson(readFile(running + "/export.json")).object();
    record.insert("boot", "another boot");
    writeFile(running + "/export.json", QJsonDocument(record).toJson()); // in place: the lock stays
    ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupWithDeck("sunday"), package()));
    EXPECT_TRUE(QFileInfo::exists(running + "/package"));

    StagingFolder::onStep = [&](StagingFolder::Step step) {
        if (step == StagingFolder::Step::renamed)
            platform::removeTree(QFile::encodeName(package() + "/manifest.json").constData());
    };
    const auto emptied = ProjectBackupPackage::exportBackup(backupWithDeck("monday"), package());
    StagingFolder::onStep = nullptr;
    EXPECT_EQ(failureText(emptied), QStringLiteral("导出时所选文件夹中的备份被他人改动，未写入备份。"));
    EXPECT_EQ(deckIn(package()), "sunday");
}

// What is under the name is judged without harm: a manifest beyond the limit
// is not read, one that reads as no backup's makes no backup, and a device is
// never opened. None of them is replaced.
TEST_F(BackupDurabilityTest, WhatIsUnderTheNameIsJudgedWithoutHarm)
{
    const QString noBackup = QStringLiteral("所选位置已有同名文件或文件夹，且它不是演讲项目备份；未做任何改动。");
    const QString manifest = package() + "/manifest.json";
    BackupLimits limits;
    limits.manifestBytes = 4096;
    writeFile(manifest, QJsonDocument(singleProjectManifest()).toJson().leftJustified(limits.manifestBytes + 1, ' '));
    EXPECT_EQ(failureText(ProjectBackupPackage::exportBackup(backupWithDeck("deck"), package(), limits)), noBackup);
    writeFile(manifest, "");
    writeFile(package() + "/theirs.txt", "theirs");
    EXPECT_EQ(failureText(ProjectBackupPackage::exportBackup(backupWithDeck("deck"), package())), noBackup);
    ASSERT_TRUE(QFile::remove(manifest));
    if (::mknod(QFile::encodeName(manifest).constData(), S_IFCHR | 0600, makedev(1, 3)) != 0)
        GTEST_SKIP() << "a device needs root to make";
    const platform::FileDescriptor opens(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    ASSERT_GE(::inotify_add_watch(opens.get(), QFile::encodeName(manifest).constData(), IN_OPEN), 0);
    EXPECT_EQ(failureText(ProjectBackupPackage::exportBackup(backupWithDeck("deck"), package())), noBackup);
    char event[4096];
    EXPECT_LT(::read(opens.get(), event, sizeof event), 0) << "the device was opened";
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

// The record's name is on the drive before the package is begun: a folder
// whose record lost its name in a cut, a package begun in it, would stay for good.
TEST_F(BackupDurabilityTest, TheRecordsNameIsSyncedBeforeThePackageIsBegun)
{
    bool synced = false, begun = false;
    platform::onSync = [&](int fd) {
        const QString item = QFileInfo("/proc/self/fd/" + QString::number(fd)).symLinkTarget();
        begun = begun || item.contains("/package/");
        synced = synced || (!begun && item.contains("/.QuorviaBackup-") && QFileInfo::exists(item + "/export.json"));
        return 0;
    };
    const auto exported = ProjectBackupPackage::exportBackup(backupWithDeck("monday"), exportsFolder() + "/全部.quorviabackup");
    platform::onSync = nullptr;
    ASSERT_TRUE(exported);
    EXPECT_TRUE(synced);
}

// The record's folder sync failing as an export begins, and as it puts the
// package in place: the export says it failed, the old backup stays, and the
// record, under its name all the same, stays locked until it goes with the export.
// So does the record before, when the new one fails before its rename.
TEST_F(BackupDurabilityTest, AnExportWhoseRecordMayNotBeOnTheDriveFailsAndKeepsItLocked)
{
    const QString name = exportsFolder() + "/全部.quorviabackup";
    ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupWithDeck("sunday"), name));
    const std::shared_ptr<void> restore(nullptr, [](void*) { platform::onSync = nullptr; StagingFolder::onStep = nullptr; });
    for (const int failing : {2, 3, 4}) { // the folder's syncs and the records' own
        bool unlocked = false;
        platform::onSync = [&, count = 0](int fd) mutable {
            return QFileInfo(QFile::symLinkTarget("/proc/self/fd/" + QString::number(fd))).fileName().contains(QRegularExpression("^(\\.QuorviaBackup-|export\\.json\\.tmp-)")) && ++count == failing ? EIO : 0;
        };
        StagingFolder::onStep = [&](StagingFolder::Step at) {
            QFile record(exportsFolder() + u'/' + stagingFoldersIn(exportsFolder()).value(0) + u'/' + StagingRecord::fileName);
            unlocked = unlocked || (at == StagingFolder::Step::goingNamed && (!record.open(QIODevice::ReadOnly) || !platform::isLockedElsewhere(record.handle())));
        };
        EXPECT_FALSE(ProjectBackupPackage::exportBackup(backupWithDeck("monday"), name)) << failing;
        EXPECT_FALSE(unlocked) << failing;
        platform::onSync = nullptr;
        EXPECT_EQ(deckIn(name), "sunday") << failing;
    }
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

    const auto imported = ProjectBackupPackage::importBackup(stick.path("全部.quorviabackup"), nullptr, path("store"));
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

// An import of a deck of nested folders syncs every name it makes before it
// is done: the copy's in the folder it copied into, those in each folder the
// copier makes, and the copy's folder in the store once admitted.
TEST_F(BackupDurabilityTest, AnImportSyncsEveryNameItMakes)
{
    writeFile(path("decks/talk.key/a/b/slide.xml"), "deck");
    ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupOf({backupProject("讲稿", path("decks/talk.key"))}), package()));
    QStringList synced;
    platform::onSync = [&](int fd) {
        const QString folder = QFile::symLinkTarget("/proc/self/fd/" + QString::number(fd));
        for (const QString& name : QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
            synced.append(folder + u'/' + name);
        return 0;
    };
    const auto imported = ProjectBackupPackage::importBackup(package(), nullptr, store());
    platform::onSync = nullptr;
    ASSERT_TRUE(imported);
    const QString root = QFileInfo(store()).canonicalFilePath(), folder = QFileInfo(imported->projects.front().deck->filePath).dir().dirName();
    const QString copy = root + "/.incoming/" + folder + "/talk.key";
    for (const QString& name : {copy, copy + "/a", copy + "/a/b", copy + "/a/b/slide.xml", root + u'/' + folder})
        EXPECT_TRUE(synced.contains(name)) << name.toStdString();
    // With its record's name not on the drive, an import fails and leaves the store as it was.
    const QStringList before = listTree(store());
    platform::onSync = [](int fd) { return QFile::symLinkTarget("/proc/self/fd/" + QString::number(fd)).endsWith("/.incoming") ? EIO : 0; };
    EXPECT_FALSE(ProjectBackupPackage::importBackup(package(), nullptr, store()));
    platform::onSync = nullptr;
    EXPECT_EQ(listTree(store()), before);
}
