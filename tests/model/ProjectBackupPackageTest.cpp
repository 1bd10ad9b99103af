#include "BackupFixtures.h"
#include "DriveImage.h"
#include "MountedDrive.h"

#include "model/BackupPackageReader.h"
#include "model/ProjectBackupPackage.h"
#include "model/ProjectDocumentStore.h"
#include "model/StagingFolder.h"
#include "support/QtPrinting.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QRegularExpression>

#include <gtest/gtest-spi.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <thread>

#include <csignal>

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/sysmacros.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quorvia;
using namespace quorvia::test;

namespace {

using Project = PresentationProjectsBackup::Project;

// Bytes this process has read so far, from the page cache or the disk alike.
qint64 bytesReadByThisProcess()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : io.readAll().split('\n'))
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    return -1;
}

} // namespace

TEST_F(BackupPackageTest, EmptyBackupFailsBeforeTouchingFiles)
{
    const auto result = ProjectBackupPackage::exportBackup(backupOf({}), package());
    EXPECT_EQ(failureText(result), QStringLiteral("该备份中没有可恢复的演讲项目。"));
    EXPECT_TRUE(listTree(exportsFolder()).isEmpty());
}

TEST_F(BackupPackageTest, ExportWritesManifestAndOneFolderPerDeck)
{
    Project first = backupProject("甲", deckFile("a/talk.key", "first"));
    Project second = backupProject("乙", deckFile("b/talk.key", "second"));
    Project plain = backupProject("丙");
    plain.deckAssetPath = QStringLiteral("Documents/stale/x.key");
    const auto exported = ProjectBackupPackage::exportBackup(backupOf({first, second, plain}), package());
    ASSERT_TRUE(exported) << failureText(exported).toStdString();

    // Indented, members sorted by name, the date in ISO 8601.
    const QByteArray text = readFile(package() + "/manifest.json");
    EXPECT_TRUE(text.startsWith("{\n    \"activeProjectID\": \"" + platform::uuidString(first.id).toUtf8()
                                + "\",\n    \"exportedAt\": \"2026-03-01T09:30:15Z\""));
    EXPECT_LT(text.indexOf("\"formatVersion\""), text.indexOf("\"projects\""));

    // Decks of one name each in their project's folder; nothing for the project without a deck.
    const auto manifest = PresentationProjectsBackup::fromManifest(text);
    ASSERT_TRUE(manifest);
    EXPECT_EQ(manifest->projects[0].deckAssetPath, "Documents/" + platform::uuidString(first.id) + "/talk.key");
    EXPECT_EQ(readFile(package() + u'/' + manifest->projects[0].deckAssetPath.value_or("")), "first");
    EXPECT_EQ(readFile(package() + u'/' + manifest->projects[1].deckAssetPath.value_or("")), "second");
    plain.deckAssetPath.reset();
    EXPECT_EQ(manifest->projects[2], plain);
    EXPECT_EQ(listTree(package() + "/Documents").size(), 4);
}

TEST_F(BackupPackageTest, ExportReplacesTheDestinationWholeOrNotAtAll)
{
    const QByteArray oldManifest = QJsonDocument(singleProjectManifest()).toJson();
    writeFile(package() + "/manifest.json", oldManifest);
    writeFile(package() + "/Documents/OLD/old.key", "old deck");
    const QStringList before = listTree(exportsFolder());

    Project present = backupProject("甲", deckFile("a.key"));
    Project missing = backupProject("失踪的项目", path("gone.key"));
    const auto failed = ProjectBackupPackage::exportBackup(backupOf({present, missing}), package());
    EXPECT_EQ(failureText(failed), QStringLiteral("项目“失踪的项目”对应的演示文稿已丢失，无法生成或恢复完整备份。"));
    EXPECT_EQ(listTree(exportsFolder()), before);
    EXPECT_EQ(readFile(package() + "/manifest.json"), oldManifest);
    EXPECT_EQ(readFile(package() + "/Documents/OLD/old.key"), "old deck");

    ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupOf({backupProject("甲")}), package()));
    EXPECT_EQ(listTree(package()), QStringList{"manifest.json"});
    EXPECT_EQ(listTree(exportsFolder()).filter(QRegularExpression("^[^/]*$")), QStringList{"全部.quorviabackup"});
}

TEST_F(BackupPackageTest, PackageMustCarryTheExtensionAndAReadableManifest)
{
    const QString upper = path("upper.QUORVIABACKUP");
    writeManifest(upper, backupOf({backupProject("甲")}).toJson());
    EXPECT_TRUE(ProjectBackupPackage::importBackup(upper, nullptr, store()));

    const QString other = path("other.zip");
    writeManifest(other, backupOf({backupProject("甲")}).toJson());
    EXPECT_EQ(importFailure(other), invalidPackage);

    QDir().mkpath(path("empty.quorviabackup"));
    EXPECT_EQ(importFailure(path("empty.quorviabackup")), QStringLiteral("所选文件不是有效的演讲项目备份。"));

    // A manifest reached through a link out of the package is not the package's.
    writeManifest(path("real"), backupOf({backupProject("甲")}).toJson());
    QDir().mkpath(path("linked.quorviabackup"));
    makeLink(path("real/manifest.json"), path("linked.quorviabackup/manifest.json"));
    EXPECT_EQ(importFailure(path("linked.quorviabackup")), invalidPackage);
}

TEST_F(BackupPackageTest, ManifestMembersAreCheckedStrictly)
{
    const QJsonObject manifest = backupOf({backupProject("甲")}).toJson();
    writeManifest(package(), withFirstProject(manifest, [](QJsonObject& p) { p.remove("speechProgress"); }));
    EXPECT_EQ(importFailure(package()), invalidPackage);

    QJsonObject later = manifest;
    later.insert("formatVersion", 2);
    writeManifest(package(), later);
    EXPECT_EQ(importFailure(package()), QStringLiteral("该备份使用不受支持的格式版本 2。"));

    QJsonObject empty = manifest;
    empty.insert("projects", QJsonArray());
    writeManifest(package(), empty);
    EXPECT_EQ(importFailure(package()), ProjectBackupError::emptyBackup().description());

    // No deck and a stray asset path: read, and the path dropped.
    writeManifest(package(), withFirstProject(manifest, [](QJsonObject& p) { p.insert("deckAssetPath", "Documents/x/y.key"); }));
    const auto read = ProjectBackupPackage::importBackup(package(), nullptr, store());
    ASSERT_TRUE(read);
    EXPECT_FALSE(read->projects[0].deck);
    EXPECT_FALSE(read->projects[0].deckAssetPath);
}

TEST_F(BackupPackageTest, UnsafeAssetPathsAreRefused)
{
    writeFile(package() + "/Documents/A/talk.key", "deck");
    for (const char* unsafe : {"", "/x", "a//b", "a/", "a/../b", "./a", "Documents/A/../A/talk.key"}) {
        writeManifest(package(), singleProjectManifest(QString::fromUtf8(unsafe)));
        EXPECT_EQ(importFailure(package()), QStringLiteral("备份中的演示文稿路径无效。")) << unsafe;
    }
    // A NUL would cut the path short when it reaches the file system.
    const QString withNul = QStringLiteral("Documents/A/talk.key") + QChar(0) + QStringLiteral("/../../x");
    writeManifest(package(), singleProjectManifest(withNul));
    EXPECT_EQ(importFailure(package()), invalidPath);

    writeManifest(package(), withFirstProject(singleProjectManifest(), [](QJsonObject& p) { p.remove("deckAssetPath"); }));
    EXPECT_EQ(importFailure(package()), invalidPath);

    EXPECT_TRUE(ProjectBackupPackage::isSafeRelativePath("..a/b.."));
    EXPECT_FALSE(QFileInfo::exists(store()));
}

TEST_F(BackupPackageTest, LinksLeavingThePackageAreRefused)
{
    writeFile(path("secret.txt"), "secret");

    // The asset itself is a link out of the package.
    QDir().mkpath(package() + "/Documents/A");
    makeLink(path("secret.txt"), package() + "/Documents/A/talk.key");
    writeManifest(package(), singleProjectManifest());
    EXPECT_EQ(importFailure(package()), invalidPath);

    // A folder on the way is a link out of the package.
    const QString viaFolder = path("via.quorviabackup");
    writeFile(path("outside/A/talk.key"), "deck");
    QDir().mkpath(viaFolder);
    makeLink(path("outside"), viaFolder + "/Documents");
    writeManifest(viaFolder, singleProjectManifest());
    EXPECT_EQ(importFailure(viaFolder), invalidPath);

    // A link inside a folder document reaches out, even one whose target is missing.
    const QString nested = path("nested.quorviabackup");
    writeFile(nested + "/Documents/A/talk.key/Index.zip", "index");
    makeLink("../../../../secret.txt", nested + "/Documents/A/talk.key/leak");
    writeManifest(nested, singleProjectManifest());
    EXPECT_EQ(importFailure(nested), invalidPath);
    QFile::remove(nested + "/Documents/A/talk.key/leak");
    makeLink("/nonexistent/anything", nested + "/Documents/A/talk.key/dangling");
    EXPECT_EQ(importFailure(nested), invalidPath);

    EXPECT_FALSE(QFileInfo::exists(store()));
}

TEST_F(BackupPackageTest, LinksWithinThePackageAreKept)
{
    writeFile(package() + "/Documents/A/talk.key/Data/image.png", "png");
    makeLink("Data/image.png", package() + "/Documents/A/talk.key/preview.png");
    writeManifest(package(), singleProjectManifest());
    const auto imported = ProjectBackupPackage::importBackup(package(), nullptr, store());
    ASSERT_TRUE(imported) << failureText(imported).toStdString();
    const QString copy = imported->projects[0].deck->filePath;
    EXPECT_TRUE(QFileInfo(copy + "/preview.png").isSymLink());
    EXPECT_EQ(readFile(copy + "/preview.png"), "png");
}

// A package in a folder others can write to: what they can change must never
// make the importing user copy a file of theirs into the store.
TEST_F(BackupPackageTest, APackageThatIsALinkIsRefused)
{
    // Named like a package, the link makes the folder it sits in the package.
    const QString shared = path("shared");
    writeFile(shared + "/Documents/A/talk.key", "only the importer can read this");
    writeManifest(shared, singleProjectManifest());
    makeLink(QStringLiteral("."), shared + "/talk.quorviabackup");
    EXPECT_EQ(importFailure(shared + "/talk.quorviabackup"), invalidPackage);
    makeLink(shared, path("absolute.quorviabackup"));
    EXPECT_EQ(importFailure(path("absolute.quorviabackup")), invalidPackage);
    EXPECT_FALSE(QFileInfo::exists(store()));
}

TEST_F(BackupPackageTest, ADeckSwappedForALinkDuringTheImportIsNeverFollowed)
{
    writeFile(path("secret.txt"), "secret");
    writeFile(package() + "/Documents/A/talk.key", "deck");
    makeLink(path("secret.txt"), package() + "/Documents/A/spare");
    writeManifest(package(), singleProjectManifest());

    std::atomic<bool> stop = false;
    std::thread swapper([&] {
        const QByteArray deck = QFile::encodeName(package() + "/Documents/A/talk.key");
        const QByteArray spare = QFile::encodeName(package() + "/Documents/A/spare");
        while (!stop)
            ::renameat2(AT_FDCWD, deck.constData(), AT_FDCWD, spare.constData(), RENAME_EXCHANGE);
    });
    // Which import wins a round is the scheduler's business: each one either
    // copies the deck itself or is refused, and no copy ever holds the secret.
    QStringList leaks;
    for (int i = 0; i < 100; ++i) {
        const auto result = ProjectBackupPackage::importBackup(package(), nullptr, store());
        if (!result) {
            EXPECT_EQ(failureText(result), invalidPath);
            continue;
        }
        const QString copy = result->projects[0].deck->filePath;
        if (QFileInfo(copy).isSymLink() || readFile(copy) != "deck")
            leaks.append(copy);
    }
    stop = true;
    swapper.join();
    EXPECT_TRUE(leaks.isEmpty()) << leaks.size() << " copies hold what the link reached";
}

TEST_F(BackupPackageTest, ALinkInAFolderDeckMustStayInsideTheDeck)
{
    // Inside the package, but outside the deck: in the store it would reach
    // whatever lies beside the copy.
    writeFile(package() + "/Documents/B/notes.txt", "another project's file");
    writeFile(package() + "/Documents/A/talk.key/Index.zip", "index");
    makeLink("../../B/notes.txt", package() + "/Documents/A/talk.key/leak");
    writeManifest(package(), singleProjectManifest());
    EXPECT_EQ(importFailure(package()), invalidPath);
    EXPECT_TRUE(listTree(store()).isEmpty());

    // A link into a deeper folder of the deck stays, and still works in the store.
    QFile::remove(package() + "/Documents/A/talk.key/leak");
    writeFile(package() + "/Documents/A/talk.key/Data/a/b.png", "png");
    makeLink("../../Index.zip", package() + "/Documents/A/talk.key/Data/a/index");
    const auto imported = ProjectBackupPackage::importBackup(package(), nullptr, store());
    ASSERT_TRUE(imported) << failureText(imported).toStdString();
    EXPECT_EQ(readFile(imported->projects[0].deck->filePath + "/Data/a/index"), "index");
}

TEST_F(BackupPackageTest, AChainOfLinksIsJudgedByWhereItReallyLeadsInTheCopy)
{
    // "up" climbs back to the deck; through it, "esc" climbs three folders
    // above the copy, to the folder the store lies in, though its own words
    // stay inside.
    const QString deck = package() + "/Documents/A/talk.key";
    writeFile(deck + "/Index.zip", "index");
    QDir().mkpath(deck + "/a1/a2/a3/a4/a5");
    makeLink("../../../../..", deck + "/a1/a2/a3/a4/a5/up");
    makeLink("a1/a2/a3/a4/a5/up/../../../secret.txt", deck + "/esc");
    writeFile(path("secret.txt"), "the importing user's file");
    writeManifest(package(), singleProjectManifest());
    EXPECT_EQ(importFailure(package()), invalidPath);
    EXPECT_TRUE(listTree(store()).isEmpty());

    // The same climb written out, and a loop of links, are refused too.
    QFile::remove(deck + "/esc");
    makeLink("a1/a2/a3/a4/a5/up/../outside", deck + "/esc");
    EXPECT_EQ(importFailure(package()), invalidPath);
    QFile::remove(deck + "/esc");
    makeLink("loop", deck + "/loop");
    EXPECT_EQ(importFailure(package()), invalidPath);
    QFile::remove(deck + "/loop");

    // A chain that ends inside the deck is kept, and works in the copy.
    QFile::remove(deck + "/esc");
    makeLink("a1/a2/a3/a4/a5/up/Index.zip", deck + "/esc");
    makeLink("../esc", deck + "/a1/again");
    makeLink("../../../../../missing/../Index.zip", deck + "/a1/a2/a3/a4/a5/dangling");
    const auto imported = ProjectBackupPackage::importBackup(package(), nullptr, store());
    ASSERT_TRUE(imported) << failureText(imported).toStdString();
    EXPECT_EQ(readFile(imported->projects[0].deck->filePath + "/a1/again"), "index");
}

TEST_F(BackupPackageTest, AnImportBeyondTheByteBudgetFailsAndTakesItsCopiesAway)
{
    // The first deck would copy; the second claims more than the store's disk
    // holds, without holding a byte on disk.
    Project first = backupProject("甲", QStringLiteral("/elsewhere/a.key"));
    first.deckAssetPath = QStringLiteral("Documents/A/a.key");
    Project second = backupProject("乙", QStringLiteral("/elsewhere/b.key"));
    second.deckAssetPath = QStringLiteral("Documents/B/b.key");
    writeFile(package() + "/Documents/A/a.key", "first");
    writeFile(package() + "/Documents/B/b.key", {});
    struct statvfs disk {};
    ASSERT_EQ(::statvfs(QFile::encodeName(package()).constData(), &disk), 0);
    ASSERT_EQ(::truncate(QFile::encodeName(package() + "/Documents/B/b.key").constData(),
                         qint64(disk.f_bavail) * qint64(disk.f_frsize) + (qint64(1) << 30)),
              0);
    writeManifest(package(), backupOf({first, second}).toJson());
    const qint64 readBefore = bytesReadByThisProcess();
    ASSERT_GE(readBefore, 0);
    EXPECT_TRUE(importFailure(package()).startsWith(QStringLiteral("演示文稿存放位置的磁盘空间不足：需要约 ")));
    EXPECT_LT(bytesReadByThisProcess() - readBefore, qint64(64) << 20) << "the claimed bytes were read";
    EXPECT_TRUE(listTree(store()).isEmpty());

    // A missing deck after a copied one takes that copy away too; the store's
    // own earlier copies stay.
    writeFile(store() + "/EARLIER/kept.key", "kept");
    QFile::remove(package() + "/Documents/B/b.key");
    EXPECT_EQ(importFailure(package()), ProjectBackupError::missingPresentation("乙").description());
    EXPECT_EQ(listTree(store()), (QStringList{"EARLIER", "EARLIER/kept.key"}));
}

TEST_F(BackupPackageTest, ExportsAndStoredCopiesAreForThisUserOnly)
{
    const mode_t previous = ::umask(022);
    Project project = backupProject("甲", deckFile("decks/talk.key/Index.zip", "index").section(u'/', 0, -2));
    const auto exported = ProjectBackupPackage::exportBackup(backupOf({project}), package());
    ASSERT_TRUE(exported) << failureText(exported).toStdString();
    const auto imported = ProjectBackupPackage::importBackup(package(), nullptr, store());
    ASSERT_TRUE(imported) << failureText(imported).toStdString();
    const auto copied = ProjectDocumentStore::copyDocument(deckFile("plain.key"), store());
    ASSERT_TRUE(copied);
    ::umask(previous);

    const auto modeOf = [](const QString& item) {
        struct stat status {};
        EXPECT_EQ(::lstat(QFile::encodeName(item).constData(), &status), 0) << item.toStdString();
        return status.st_mode & 0777;
    };
    const QString deckFolder = imported->projects[0].deck->filePath;
    for (const QString& folder : {package(), package() + "/Documents", deckFolder, QFileInfo(deckFolder).path(),
                                  QFileInfo(*copied).path()})
        EXPECT_EQ(modeOf(folder), 0700u) << folder.toStdString();
    for (const QString& file : {package() + "/manifest.json", deckFolder + "/Index.zip", *copied})
        EXPECT_EQ(modeOf(file), 0600u) << file.toStdString();
    for (const QString& item : listTree(package()))
        EXPECT_EQ(modeOf(package() + u'/' + item) & 077, 0u) << item.toStdString();
}

// Decks larger together than any fixed figure go out and come back, as long
// as the disk has room; a disk without room refuses up front, naming the space
// needed and free, and is left as it was.
TEST_F(BackupPackageTest, DecksOfAnySizeRoundTripAndAFullDiskRefusesUpFront)
{
    const qint64 size = qint64(1100) << 20;
    makeSparse(path("decks/one.key"), size);
    makeSparse(path("decks/two.key"), size);
    const PresentationProjectsBackup backup = backupOf({backupProject("甲", path("decks/one.key")), backupProject("乙", path("decks/two.key"))});
    const auto exported = ProjectBackupPackage::exportBackup(backup, package());
    ASSERT_TRUE(exported) << failureText(exported).toStdString();
    const auto imported = ProjectBackupPackage::importBackup(package(), nullptr, store());
    ASSERT_TRUE(imported) << failureText(imported).toStdString();
    for (const auto& project : imported->projects) {
        struct stat status {};
        ASSERT_EQ(::stat(QFile::encodeName(project.deck->filePath).constData(), &status), 0);
        EXPECT_EQ(status.st_size, size);
        EXPECT_LT(status.st_blocks * 512, qint64(16) << 20) << "the copy filled its holes";
        QFile copy(project.deck->filePath);
        ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
        EXPECT_EQ(copy.read(4), "deck");
    }

    MountedDrive disk(8 << 20);
    if (!disk.mounted())
        GTEST_SKIP() << "the full disk, a small tmpfs, needs root to mount";
    makeSparse(path("decks/mid.key"), qint64(64) << 20);
    const PresentationProjectsBackup mid = backupOf({backupProject("丙", path("decks/mid.key"))});
    const QRegularExpression told(QStringLiteral("^(所选位置|演示文稿存放位置)的磁盘空间不足：需要约 [0-9.]+ MB，可用 [0-9.]+ MB。$"));
    const QString exportText = failureText(ProjectBackupPackage::exportBackup(mid, disk.path("全部.quorviabackup")));
    EXPECT_TRUE(told.match(exportText).hasMatch() && exportText.startsWith(QStringLiteral("所选位置"))) << exportText.toStdString();
    ASSERT_TRUE(ProjectBackupPackage::exportBackup(mid, path("mid.quorviabackup")));
    const QString importText = failureText(ProjectBackupPackage::importBackup(path("mid.quorviabackup"), nullptr, disk.path("store")));
    EXPECT_TRUE(told.match(importText).hasMatch() && importText.startsWith(QStringLiteral("演示文稿存放位置"))) << importText.toStdString();
    EXPECT_TRUE(listTree(disk.path()).isEmpty());
}

// A small export asks for the room it takes, not a margin larger than itself;
// a drive that cannot be written is said so before any room is measured.
TEST_F(BackupPackageTest, ASmallExportAsksItsOwnRoomAndAReadOnlyDriveIsSaidSo)
{
    MountedDrive disk(1 << 20);
    if (!disk.mounted())
        GTEST_SKIP() << "a small disk of its own, a tmpfs, needs root to mount";
    const auto small = ProjectBackupPackage::exportBackup(backupOf({backupProject("甲", deckFile("small.key", QByteArray(70 << 10, 's')))}),
                                                         disk.path("小.quorviabackup"));
    EXPECT_TRUE(small) << failureText(small).toStdString();
    ASSERT_TRUE(disk.remountReadOnly());
    const PresentationProjectsBackup large = backupOf({backupProject("乙", deckFile("large.key", QByteArray(2 << 20, 'l')))});
    EXPECT_EQ(failureText(ProjectBackupPackage::exportBackup(large, disk.path("大.quorviabackup"))), QStringLiteral("文件夹所在的磁盘只读。"));
}

// What an export cut short (kill -9, a crash, a power cut) left beside its
// destination is taken away before the next export asks the disk for room:
// without that, the next one is refused for space with nothing to show why.
TEST_F(BackupPackageTest, WhatAKilledExportLeftIsSweptBeforeTheNextOneMeasuresTheDisk)
{
    MountedDrive disk(24 << 20);
    if (!disk.mounted())
        GTEST_SKIP() << "a small disk of its own, a tmpfs, needs root to mount";
    const PresentationProjectsBackup backup = backupOf({backupProject("甲", deckFile("talk.key", QByteArray(20 << 20, 'd')))});
    const QString target = disk.path("全部.quorviabackup");
    // Killed outright the moment 16 MB of the deck's copy are written.
    const pid_t child = exportInChild(backup, target, [] { onFileSizeLimit(16 << 20, [](int) { ::raise(SIGKILL); }); });
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the export was not cut short";
    ASSERT_EQ(stagingFoldersIn(disk.path()).size(), 1);
    // Another user's item under a staging name is theirs to remove.
    const QString theirs = disk.path(".QuorviaBackup-" + platform::uuidString(platform::newUuid()));
    ASSERT_TRUE(QDir().mkpath(theirs));
    ASSERT_EQ(::chown(QFile::encodeName(theirs).constData(), 65534, 65534), 0);

    const auto exported = ProjectBackupPackage::exportBackup(backup, target);
    ASSERT_TRUE(exported) << failureText(exported).toStdString();
    EXPECT_EQ(listTree(disk.path()).filter(QRegularExpression("^[^/]*$")),
              (QStringList{QFileInfo(theirs).fileName(), "全部.quorviabackup"}));
}

// Two launches, or two machines on one share, export into one folder at once:
// the first, held mid-copy, keeps its staging folder whole while its process
// lives, stopped or not; once it is gone, the next export takes it away.
TEST_F(BackupPackageTest, AnExportInFlightElsewhereIsLeftWholeUntilItsProcessIsGone)
{
    const PresentationProjectsBackup large = backupOf({backupProject("甲", deckFile("large.key", QByteArray(2 << 20, 'd')))});
    const pid_t first = exportInChild(large, path("exports/甲.quorviabackup"), [] { onFileSizeLimit(1 << 20, [](int) { ::raise(SIGSTOP); }); });
    ASSERT_GT(first, 0);
    const std::shared_ptr<void> reap(nullptr, [&](void*) { ::kill(first, SIGKILL); ::waitpid(first, nullptr, 0); });
    int status = 0;
    ASSERT_EQ(::waitpid(first, &status, WUNTRACED), first);
    ASSERT_TRUE(WIFSTOPPED(status)) << "the first export was not held mid-copy";
    const QStringList inFlight = listTree(exportsFolder());
    ASSERT_EQ(stagingFoldersIn(exportsFolder()).size(), 1);

    const PresentationProjectsBackup small = backupOf({backupProject("乙", deckFile("small.key"))});
    ASSERT_TRUE(ProjectBackupPackage::exportBackup(small, path("exports/乙.quorviabackup")));
    QStringList after = listTree(exportsFolder()).filter(QRegularExpression("^(?!乙)"));
    EXPECT_EQ(after, inFlight) << "the export in flight lost what it had written";

    ::kill(first, SIGKILL);
    ASSERT_EQ(::waitpid(first, nullptr, 0), first);
    ASSERT_TRUE(ProjectBackupPackage::exportBackup(small, path("exports/乙.quorviabackup")));
    EXPECT_TRUE(stagingFoldersIn(exportsFolder()).isEmpty());
}

// Only what an export of ours wrote makes a folder a leftover: a folder of
// the speaker's under a staging name stays, and so does a folder mounted under
// one, even of this very file system and holding the record of an export long gone.
TEST_F(BackupPackageTest, AFolderNoExportLeftSurvivesUnderAStagingName)
{
    const QString own = path("exports/.QuorviaBackup-" + platform::uuidString(platform::newUuid()));
    writeFile(own + "/notes.txt", "mine");
    const PresentationProjectsBackup backup = backupOf({backupProject("甲", deckFile("talk.key", QByteArray(2 << 20, 'd')))});
    const pid_t killed = exportInChild(backup, package(), [] { onFileSizeLimit(1 << 20, [](int) { ::raise(SIGKILL); }); });
    ASSERT_GT(killed, 0);
    ASSERT_EQ(::waitpid(killed, nullptr, 0), killed);
    const QStringList left = stagingFoldersIn(exportsFolder()).filter(QRegularExpression("^(?!" + QFileInfo(own).fileName() + ")"));
    ASSERT_EQ(left.size(), 1);
    const QByteArray deadRecord = readFile(exportsFolder() + u'/' + left.front() + "/export.json");
    ASSERT_FALSE(deadRecord.isEmpty());

    writeFile(path("elsewhere/export.json"), deadRecord);
    writeFile(path("elsewhere/slides.txt"), "mounted here");
    const MountedDrive bound(path("elsewhere"), path("exports/.QuorviaBackup-" + platform::uuidString(platform::newUuid())));
    ASSERT_EQ(bound.mounted(), ::geteuid() == 0);

    ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupOf({backupProject("乙", deckFile("small.key"))}), package()));
    EXPECT_EQ(readFile(own + "/notes.txt"), "mine");
    EXPECT_FALSE(QFileInfo::exists(exportsFolder() + u'/' + left.front())) << "the dead export's folder stayed";
    if (!bound.mounted())
        GTEST_SKIP() << "a folder mounted under a staging name needs root to mount";
    EXPECT_EQ(readFile(path("elsewhere/slides.txt")).toStdString(), "mounted here");
}

// A stick, an NTFS drive or a network share shows every folder 0755 whatever
// mode is set: exports work there and leave nothing hidden.
TEST_F(BackupPackageTest, ExportWorksOnADriveWithoutUnixModes)
{
    QDir().mkpath(path("real"));
    const MountedDrive drive(MountedDrive::Kind::bindfs, path("real"), {"--perms=a+rX"});
    if (!drive.mounted())
        GTEST_SKIP() << "a drive that shows every folder 0755 needs root and bindfs to mount";
    struct stat status {};
    ASSERT_EQ(::stat(QFile::encodeName(drive.path()).constData(), &status), 0);
    ASSERT_EQ(status.st_mode & 0777, 0755u);

    const auto exported = ProjectBackupPackage::exportBackup(backupOf({backupProject("甲", deckFile("a.key", "first"))}),
                                                             drive.path("全部.quorviabackup"));
    ASSERT_TRUE(exported) << failureText(exported).toStdString();
    EXPECT_EQ(listTree(drive.path()).filter(QRegularExpression("^[^/]*$")), QStringList{"全部.quorviabackup"});
}

// A test process killed while its drives are mounted leaves none behind: no
// daemon, no loop device and so no image. A loop device a test leaves
// attached fails the check at its process's end, which detaches it.
TEST_F(BackupPackageTest, TheDrivesATestMakesGoWithItsProcess)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "drives of its own need root to mount";
    ::prctl(PR_SET_CHILD_SUBREAPER, 1); // the killed test's daemons come back here, to be counted
    const pid_t test = forkEndingWithThisThread();
    if (test == 0) {
        MountLeakCheck::isolate();
        qputenv("TMPDIR", QFile::encodeName(path("."))); // their folders, which the kill leaves, go with this test's
        const DriveImage stick = DriveImage::exfat(8), disk = DriveImage::ext4(8);
        const MountedDrive drives[] = {{MountedDrive::Kind::exfatImage, stick.path()}, {MountedDrive::Kind::ext4Image, disk.path()},
                                       {MountedDrive::Kind::bindfs, exportsFolder()}};
        if (std::ranges::all_of(drives, &MountedDrive::mounted))
            ::raise(SIGSTOP);
        ::_exit(1);
    }
    int status = 0;
    ASSERT_TRUE(::waitpid(test, &status, WUNTRACED) == test && WIFSTOPPED(status)) << "the drives could not be made";
    ASSERT_EQ(MountLeakCheck::loopDevicesOf(test).size(), 2u);
    ::kill(test, SIGKILL);
    for (QDeadlineTimer deadline(10000); !deadline.hasExpired() && (::waitpid(-1, nullptr, WNOHANG) != -1 || !MountLeakCheck::loopDevicesOf(test).empty());)
        ::usleep(10000);
    ::prctl(PR_SET_CHILD_SUBREAPER, 0);
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1) << "a daemon outlived its test";
    EXPECT_EQ(MountLeakCheck::loopDevicesOf(test), std::vector<std::string>());

    MountLeakCheck check;
    check.SetUp();
    const DriveImage image = DriveImage::exfat(8);
    const int loop = MountedDrive::attachLoop(image.path()); // gone with this process, killed here or not
    EXPECT_NONFATAL_FAILURE(check.TearDown(), "attached");
    ::close(loop);
    EXPECT_EQ(MountLeakCheck::loopDevicesOf(::getpid()), std::vector<std::string>());
}

// The drive tests killed at several moments, one once a process they forked
// stands stopped, leave no process, daemon or loop device.
TEST_F(BackupPackageTest, DriveTestsKilledPartWayLeaveNothingBehind)
{
    ::prctl(PR_SET_CHILD_SUBREAPER, 1); // what they leave comes back here
    for (const std::string test : {"BackupDurabilityTest.ARunningExportIsNeverTakenForADeadOne", "BackupPackageTest.TheDrivesATestMakesGoWithItsProcess"})
        for (const int ms : {0, 15, 30, 60, 120, 250}) { // 0: once a process it forked stands stopped
            const pid_t run = forkEndingWithThisThread();
            if (run == 0) {
                ::setpgid(0, 0), ::dup2(::open("/dev/null", O_WRONLY), STDOUT_FILENO);
                ::execl("/proc/self/exe", "model_tests", ("--gtest_filter=" + test).c_str(), nullptr);
                ::_exit(127);
            }
            const auto stopped = [run] {
                std::ifstream children("/proc/" + std::to_string(run) + "/task/" + std::to_string(run) + "/children");
                QFile stat;
                for (pid_t child; children >> child;)
                    if (stat.setFileName("/proc/" + QString::number(child) + "/stat"), stat.open(QIODevice::ReadOnly) && stat.readAll().split(')').last().startsWith(" T"))
                        return true;
                return false;
            };
            std::vector<pid_t> reaped{run};
            for (QDeadlineTimer deadline(ms ? ms : 5000); !deadline.hasExpired() && !(ms == 0 && stopped()) && ::waitpid(run, nullptr, WNOHANG) == 0;)
                ::usleep(1000);
            ::kill(run, SIGKILL);
            const auto loops = [&] { return std::ranges::any_of(reaped, [](pid_t pid) { return !MountLeakCheck::loopDevicesOf(pid).empty(); }); };
            for (QDeadlineTimer deadline(10000); !deadline.hasExpired();)
                if (const pid_t pid = ::waitpid(-1, nullptr, WNOHANG); pid > 0)
                    reaped.push_back(pid);
                else if (pid < 0 && !loops())
                    break;
                else
                    ::usleep(10000);
            EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1) << test << " killed at " << ms << " ms left a process";
            EXPECT_FALSE(loops()) << test << " killed at " << ms << " ms left a loop device";
            for (const pid_t pid : reaped) // counted, and detached so that none stays on the machine
                for (const std::string& loop : MountLeakCheck::loopDevicesOf(pid)) QProcess::execute("losetup", {"-d", QString::fromStdString("/dev/" + loop)});
            ::kill(-run, SIGKILL);
        }
    ::prctl(PR_SET_CHILD_SUBREAPER, 0);
}

// On a drive without an atomic exchange the old package is set aside before
// the new one takes its name. An export killed in between loses nothing: the
// next export into that folder, to any name, puts the old one back.
TEST_F(BackupPackageTest, AnOldPackageSetAsideByAKilledExportIsPutBack)
{
    QDir().mkpath(path("real"));
    const MountedDrive drive(MountedDrive::Kind::bindfs, path("real"));
    if (!drive.mounted())
        GTEST_SKIP() << "a drive without an atomic exchange needs root and bindfs to mount";
    const QString sunday = drive.path("全部.quorviabackup");
    ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupOf({backupProject("甲", deckFile("a.key", "sunday"))}), sunday));

    const pid_t child = exportInChild(backupOf({backupProject("甲", deckFile("b.key", "monday"))}), sunday, [] {
        StagingFolder::onStep = [](StagingFolder::Step step) {
            if (step == StagingFolder::Step::previousSetAside)
                ::raise(SIGKILL);
        };
    });
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the export was not killed between its renames";
    ASSERT_FALSE(QFileInfo::exists(sunday));

    ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupOf({backupProject("乙", deckFile("c.key"))}), drive.path("其他.quorviabackup")));
    const auto imported = ProjectBackupPackage::importBackup(sunday, nullptr, store());
    ASSERT_TRUE(imported) << failureText(imported).toStdString();
    EXPECT_EQ(readFile(imported->projects.front().deck->filePath), "sunday");
    EXPECT_TRUE(stagingFoldersIn(drive.path()).isEmpty());
}

// A sparse file may claim nearly 2^63 bytes. Decks claiming together more than
// a size holds are refused up front like any too large for the disk, on both
// sides, and nothing is written.
TEST_F(BackupPackageTest, DecksClaimingMoreThanASizeHoldsAreRefusedForRoom)
{
    MountedDrive disk(20 << 20);
    if (!disk.mounted())
        GTEST_SKIP() << "a file of nearly 2^63 bytes needs a tmpfs, which needs root to mount";
    const qint64 huge = std::numeric_limits<qint64>::max() - 1000;
    makeSparse(disk.path("hand.quorviabackup/Documents/A/a.key/Data/huge"), huge);
    writeFile(disk.path("hand.quorviabackup/Documents/A/a.key/Data/small"), QByteArray(1471, 's'));
    makeSparse(disk.path("hand.quorviabackup/Documents/B/b.key"), huge);
    Project first = backupProject("甲", disk.path("hand.quorviabackup/Documents/A/a.key"));
    Project second = backupProject("乙", disk.path("hand.quorviabackup/Documents/B/b.key"));
    const QStringList before = listTree(disk.path());
    const QString exportText = failureText(ProjectBackupPackage::exportBackup(backupOf({first, second}), disk.path("全部.quorviabackup")));
    EXPECT_TRUE(exportText.startsWith(QStringLiteral("所选位置的磁盘空间不足"))) << exportText.toStdString();
    EXPECT_EQ(listTree(disk.path()), before);

    first.deckAssetPath = QStringLiteral("Documents/A/a.key");
    second.deckAssetPath = QStringLiteral("Documents/B/b.key");
    writeManifest(disk.path("hand.quorviabackup"), backupOf({first, second}).toJson());
    const QString importText = failureText(ProjectBackupPackage::importBackup(disk.path("hand.quorviabackup"), nullptr, disk.path("store")));
    EXPECT_TRUE(importText.startsWith(QStringLiteral("演示文稿存放位置的磁盘空间不足"))) << importText.toStdString();
    EXPECT_FALSE(QFileInfo::exists(disk.path("store")));
}

// A deck that grew since it was measured would outrun the room found for it.
TEST_F(BackupPackageTest, ADeckThatGrewSinceItWasMeasuredIsRefused)
{
    writeFile(package() + "/Documents/A/talk.key/Index.zip", "index");
    auto reader = BackupPackageReader::open(package());
    ASSERT_TRUE(reader);
    const auto size = reader->measureDeck("Documents/A/talk.key", "讲稿");
    ASSERT_TRUE(size);
    reader->allowBytes(size->bytes);
    writeFile(package() + "/Documents/A/talk.key/Index.zip", "index, and more");
    EXPECT_EQ(failureText(reader->copyDeck("Documents/A/talk.key", "讲稿", ProjectDocumentStore::toPath(store()))),
              QStringLiteral("演示文稿在复制时变大了，请稍后再试。"));
    reader.reset();
    EXPECT_TRUE(listTree(store()).isEmpty());
}

namespace {

constexpr uid_t otherUser = 65534;

// Runs `work` in a child process as another local user; answers its exit status.
int asOtherUser(const std::function<int()>& work)
{
    const pid_t child = forkEndingWithThisThread();
    if (child == 0) {
        if (::setgid(otherUser) != 0 || ::setuid(otherUser) != 0)
            ::_exit(200);
        ::_exit(work());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 201;
}

// Files under `folder` whose bytes begin with `secret` that the calling user can read.
int readableCopies(const std::string& folder, const std::string& secret)
{
    int found = 0;
    DIR* entries = ::opendir(folder.c_str());
    if (!entries)
        return 0;
    while (const dirent* entry = ::readdir(entries)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string item = folder + "/" + name;
        struct stat status {};
        if (::stat(item.c_str(), &status) != 0)
            continue;
        if (S_ISDIR(status.st_mode)) {
            found += readableCopies(item, secret);
            continue;
        }
        const int file = ::open(item.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        std::string bytes(secret.size(), '\0');
        if (file >= 0 && ::read(file, bytes.data(), bytes.size()) == ssize_t(bytes.size()) && bytes == secret)
            ++found;
        if (file >= 0)
            ::close(file);
    }
    ::closedir(entries);
    return found;
}

} // namespace

// Exporting into a folder another user can write: that user swaps the staging
// folder for a link to a folder of their own the moment it is made, or as the
// export writes its record there. The export then fails or writes a real
// package, and no copy of a deck is ever theirs to read.
TEST_F(BackupPackageTest, AStagingFolderSwappedByAnotherUserNeverHandsThemTheDecks)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "another local user needs root to stand in for";
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0711), 0);
    const std::string shared = QFile::encodeName(exportsFolder()).toStdString();
    ASSERT_EQ(::chmod(shared.c_str(), 0777), 0);
    const std::string theirs = QFile::encodeName(path("theirs")).toStdString();
    ASSERT_EQ(::mkdir(theirs.c_str(), 0777), 0);
    ASSERT_EQ(::chown(theirs.c_str(), otherUser, otherUser), 0);
    // Twenty projects, each deck readable by all, kept in a folder only this
    // user enters, and a deck of many files.
    std::vector<Project> projects;
    for (int i = 0; i < 20; ++i) {
        const QString deck = deckFile(QStringLiteral("private/deck%1.key").arg(i), "secret deck");
        ::chmod(QFile::encodeName(deck).constData(), 0644);
        projects.push_back(backupProject(QStringLiteral("项目%1").arg(i), deck));
    }
    for (int i = 0; i < 100; ++i)
        deckFile(QStringLiteral("private/many.key/%1").arg(i), "x");
    projects.push_back(backupProject(QStringLiteral("长"), path("private/many.key")));
    ASSERT_EQ(::chmod(QFile::encodeName(path("private")).constData(), 0700), 0);

    // Swapped before the export opens the folder, and after, while it fills it.
    for (const auto at : {StagingFolder::Step::folderMade, StagingFolder::Step::recordBegun}) {
        SCOPED_TRACE(int(at));
        const std::string loot = theirs + "/loot" + std::to_string(int(at));
        // Moved aside within the shared folder: moving another user's folder elsewhere is not allowed.
        const std::string kept = shared + "/kept" + std::to_string(int(at));
        int swapped = -1;
        StagingFolder::onStep = [&](StagingFolder::Step step) {
            if (step != at || swapped >= 0)
                return;
            // The export's own folder: a link an earlier swap left is none.
            const QString made = QDir(exportsFolder()).entryList({".QuorviaBackup-*"}, QDir::Dirs | QDir::Hidden | QDir::NoSymLinks).value(0);
            const std::string staging = shared + "/" + QFile::encodeName(made).toStdString();
            swapped = asOtherUser([&] {
                return ::mkdir(loot.c_str(), 0777) == 0 && ::rename(staging.c_str(), kept.c_str()) == 0 && ::symlink(loot.c_str(), staging.c_str()) == 0 ? 0 : 1;
            });
        };
        const auto exported = ProjectBackupPackage::exportBackup(backupOf(projects), package());
        StagingFolder::onStep = nullptr;
        EXPECT_EQ(swapped, 0) << "the staging folder was never swapped";
        if (exported) {
            struct stat status {};
            ASSERT_EQ(::lstat(QFile::encodeName(package()).constData(), &status), 0);
            EXPECT_TRUE(S_ISDIR(status.st_mode)) << "the package is a link";
            EXPECT_EQ(status.st_uid, ::geteuid());
        }
        EXPECT_EQ(asOtherUser([&] { return readableCopies(theirs, "secret deck") + readableCopies(shared, "secret deck"); }), 0)
            << "another user can read a copy of a deck";
        QDir(package()).removeRecursively();
        ::unlink(package().toLocal8Bit().constData());
    }
}

// Another user swaps a folder of theirs in under the staging name the moment
// it is made: the export refuses it and leaves it as it was.
TEST_F(BackupPackageTest, AFolderSwappedInUnderTheStagingNameIsLeftAsItWas)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "another local user needs root to stand in for";
    QString swapped;
    StagingFolder::onStep = [&](StagingFolder::Step step) {
        if (step != StagingFolder::Step::folderMade)
            return;
        swapped = exportsFolder() + u'/' + stagingFoldersIn(exportsFolder()).value(0);
        QDir().rename(swapped, path("exports/ours"));
        writeFile(swapped + "/theirs.txt", "theirs");
        ::chown(QFile::encodeName(swapped).constData(), otherUser, otherUser);
    };
    const std::shared_ptr<void> restore(nullptr, [](void*) { StagingFolder::onStep = nullptr; });
    EXPECT_FALSE(ProjectBackupPackage::exportBackup(backupOf({backupProject("甲", deckFile("a.key"))}), package()));
    EXPECT_EQ(readFile(swapped + "/theirs.txt"), "theirs");
}

// A manifest dense with tiny values is refused before it is parsed: reading a
// package never takes more than a few times its manifest's size in memory.
TEST_F(BackupPackageTest, ReadingAManifestTakesMemoryInProportionToItsSize)
{
    QByteArray manifest = "{\"formatVersion\": 1, \"exportedAt\": \"2026-01-01T00:00:00Z\", "
                          "\"activeProjectID\": \"8B2C1C43-0F5E-4B8A-9D34-3C1F0D4E5A61\", \"projects\": [";
    manifest += QByteArray("0,").repeated(32 << 20);
    manifest += "0]}";
    writeFile(package() + "/manifest.json", manifest);
    const qint64 allowed = 4 * manifest.size();
    manifest.clear();
    manifest.squeeze();
    const auto residentKiB = [] {
        QFile status(QStringLiteral("/proc/self/status"));
        status.open(QIODevice::ReadOnly);
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').first().toLongLong();
        return qint64(0);
    };
    const pid_t child = forkEndingWithThisThread();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const qint64 before = residentKiB();
        const auto imported = ProjectBackupPackage::importBackup(package(), nullptr, store());
        rusage usage {};
        ::getrusage(RUSAGE_SELF, &usage);
        ::_exit(imported ? 2 : (qint64(usage.ru_maxrss) - before) * 1024 > allowed ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: it took more than four times the manifest's size; 2: it was read";
}

// A deck that is neither a file nor a folder (a pipe, a device) is refused by
// its type before it is ever opened, in the application's words: opening a
// pipe lets the writer waiting on it through, opening a device can do something.
TEST_F(BackupPackageTest, ADeckThatIsNoFileNorFolderIsRefusedUnopened)
{
    writeManifest(package(), singleProjectManifest());
    const QByteArray deck = QFile::encodeName(package() + "/Documents/A/talk.key");
    QDir().mkpath(package() + "/Documents/A");
    const bool root = ::geteuid() == 0;
    for (const mode_t kind : {S_IFIFO, S_IFCHR}) {
        if (kind == S_IFCHR && !root)
            continue;
        ASSERT_EQ(::mknod(deck.constData(), kind | 0600, kind == S_IFCHR ? makedev(1, 3) : 0), 0);
        // Every open of the item is told here before it returns.
        const int opens = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ASSERT_GE(::inotify_add_watch(opens, deck.constData(), IN_OPEN), 0);
        EXPECT_EQ(importFailure(package()), invalidPath);
        alignas(inotify_event) char events[4096];
        EXPECT_LT(::read(opens, events, sizeof events), 0) << (kind == S_IFIFO ? "the pipe" : "the device") << " was opened";
        ::close(opens);
        ASSERT_EQ(::unlink(deck.constData()), 0);
    }
    // Inside a folder deck, export and import both refuse it before copying.
    const QString folder = QFile::decodeName(deck);
    writeFile(folder + "/Index.zip", "index");
    ASSERT_EQ(::mkfifo((deck + "/pipe").constData(), 0600), 0);
    EXPECT_EQ(importFailure(package()), invalidPath);
    EXPECT_TRUE(listTree(store()).isEmpty());
    const auto exported = ProjectBackupPackage::exportBackup(backupOf({backupProject("讲稿", folder)}), path("again.quorviabackup"));
    EXPECT_EQ(failureText(exported), QStringLiteral("项目“讲稿”的演示文稿中有既不是文件也不是文件夹的项目。"));
    if (!root)
        GTEST_SKIP() << "the pipe was refused unopened; making a device needs root";
}
