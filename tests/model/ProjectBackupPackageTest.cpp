#include "BackupFixtures.h"

#include "model/ProjectBackupPackage.h"
#include "model/ProjectDocumentStore.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QRegularExpression>

#include <functional>

using namespace quorvia;
using namespace quorvia::test;

namespace {

using Project = PresentationProjectsBackup::Project;

class BackupPackageTest : public ::testing::Test {
protected:
    QString path(const QString& relative) const { return dir.filePath(relative); }
    QString exportsFolder() const { return path(QStringLiteral("exports")); }
    QString package() const { return path(QStringLiteral("exports/全部.quorviabackup")); }
    QString store() const { return path(QStringLiteral("store")); }

    void SetUp() override { QDir().mkpath(exportsFolder()); }

    QString deckFile(const QString& relative, const QByteArray& content = "deck")
    {
        writeFile(path(relative), content);
        return path(relative);
    }

    QJsonObject manifestOf(const QString& packagePath) const
    {
        return QJsonDocument::fromJson(readFile(packagePath + "/manifest.json")).object();
    }

    // A one-project package with a deck file, whose manifest a test may then change.
    QJsonObject singleProjectManifest(const QString& assetPath = QStringLiteral("Documents/A/talk.key"))
    {
        Project project = backupProject(QStringLiteral("讲稿"), deckAt(QStringLiteral("/elsewhere/talk.key")));
        project.deckAssetPath = assetPath;
        return backupOf({project}).toJson();
    }

    static QJsonObject withFirstProject(QJsonObject manifest, const std::function<void(QJsonObject&)>& change)
    {
        QJsonArray projects = manifest.value("projects").toArray();
        QJsonObject first = projects.at(0).toObject();
        change(first);
        projects.replace(0, first);
        manifest.insert("projects", projects);
        return manifest;
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(BackupPackageTest, EmptyBackupFailsBeforeTouchingFiles)
{
    const auto result = ProjectBackupPackage::exportBackup(backupOf({}), package());
    EXPECT_EQ(failureText(result), QStringLiteral("该备份中没有可恢复的演讲项目。"));
    EXPECT_TRUE(listTree(exportsFolder()).isEmpty());
}

TEST_F(BackupPackageTest, ExportWritesManifestAndOneFolderPerDeck)
{
    Project first = backupProject("甲", deckAt(deckFile("a/talk.key", "first")));
    Project second = backupProject("乙", deckAt(deckFile("b/talk.key", "second")));
    Project plain = backupProject("丙");
    plain.deckAssetPath = QStringLiteral("Documents/stale/x.key");
    const auto backup = backupOf({first, second, plain});

    const auto exported = ProjectBackupPackage::exportBackup(backup, package());
    ASSERT_TRUE(exported) << failureText(exported).toStdString();

    const QString firstAsset = "Documents/" + platform::uuidString(first.id) + "/talk.key";
    const QString secondAsset = "Documents/" + platform::uuidString(second.id) + "/talk.key";
    EXPECT_EQ(readFile(package() + u'/' + firstAsset), "first");
    EXPECT_EQ(readFile(package() + u'/' + secondAsset), "second");
    EXPECT_EQ(listTree(package() + "/Documents").size(), 4); // two folders, two files
    // Only the package is left beside it: the staging folder is gone.
    EXPECT_EQ(listTree(exportsFolder()).filter(QRegularExpression("^[^/]*$")), QStringList{"全部.quorviabackup"});

    const QByteArray text = readFile(package() + "/manifest.json");
    EXPECT_TRUE(text.contains("\n    \"activeProjectID\""));
    EXPECT_LT(text.indexOf("\"activeProjectID\""), text.indexOf("\"exportedAt\""));
    EXPECT_LT(text.indexOf("\"formatVersion\""), text.indexOf("\"projects\""));
    EXPECT_TRUE(text.contains("\"exportedAt\": \"2026-03-01T09:30:15Z\""));
    EXPECT_TRUE(text.contains(platform::uuidString(first.id).toUtf8()));

    const auto projects = manifestOf(package()).value("projects").toArray();
    ASSERT_EQ(projects.size(), 3);
    EXPECT_EQ(projects[0].toObject().value("deckAssetPath").toString(), firstAsset);
    EXPECT_EQ(projects[1].toObject().value("deckAssetPath").toString(), secondAsset);
    EXPECT_FALSE(projects[2].toObject().contains("deckAssetPath"));
    EXPECT_FALSE(projects[2].toObject().contains("deck"));
}

TEST_F(BackupPackageTest, ExportReplacesAnExistingPackageWhole)
{
    writeFile(package() + "/manifest.json", "old");
    writeFile(package() + "/Documents/OLD/old.key", "old deck");
    ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupOf({backupProject("甲")}), package()));
    EXPECT_EQ(listTree(package()), QStringList{"manifest.json"});
    EXPECT_EQ(manifestOf(package()).value("formatVersion").toInt(), 1);
    EXPECT_EQ(listTree(exportsFolder()).filter(QRegularExpression("^[^/]*$")), QStringList{"全部.quorviabackup"});
}

TEST_F(BackupPackageTest, FailedExportLeavesTheDestinationByteIdentical)
{
    writeFile(package() + "/manifest.json", "old manifest");
    writeFile(package() + "/Documents/OLD/old.key", "old deck");
    const QStringList before = listTree(exportsFolder());

    Project present = backupProject("甲", deckAt(deckFile("a.key")));
    Project missing = backupProject("失踪的项目", deckAt(path("gone.key")));
    const auto result = ProjectBackupPackage::exportBackup(backupOf({present, missing}), package());

    EXPECT_EQ(failureText(result), QStringLiteral("项目“失踪的项目”对应的演示文稿已丢失，无法生成或恢复完整备份。"));
    EXPECT_EQ(listTree(exportsFolder()), before);
    EXPECT_EQ(readFile(package() + "/manifest.json"), "old manifest");
    EXPECT_EQ(readFile(package() + "/Documents/OLD/old.key"), "old deck");
}

TEST_F(BackupPackageTest, ExportIntoAMissingFolderFailsWithTheSystemError)
{
    const auto result = ProjectBackupPackage::exportBackup(backupOf({backupProject("甲")}), path("nowhere/x.quorviabackup"));
    ASSERT_FALSE(result);
    EXPECT_TRUE(std::holds_alternative<std::error_code>(result.error()));
    EXPECT_FALSE(QFileInfo::exists(path("nowhere")));
}

TEST_F(BackupPackageTest, RoundTripPointsDecksAndMatchingNotesAtTheStoreCopies)
{
    const QString keynote = deckFile("decks/讲稿.key", "keynote");
    Project bound = backupProject("甲", deckAt(keynote, 2));
    bound.keynoteNotesBackup = KeynotePresenterNotesBackup{QStringLiteral("讲稿.key"), keynote, 2, {{1, QStringLiteral("备注")}}};
    Project foreign = backupProject("乙", deckAt(deckFile("decks/other.key"), 4));
    foreign.keynoteNotesBackup = KeynotePresenterNotesBackup{QStringLiteral("别的.key"), QStringLiteral("/x/别的.key"), 9, {}};
    Project plain = backupProject("丙");
    const auto backup = backupOf({bound, foreign, plain});
    ASSERT_TRUE(ProjectBackupPackage::exportBackup(backup, package()));

    const auto imported = ProjectBackupPackage::importBackup(package(), store());
    ASSERT_TRUE(imported) << failureText(imported).toStdString();
    ASSERT_EQ(imported->projects.size(), 3);
    EXPECT_EQ(imported->activeProjectID, bound.id);
    EXPECT_EQ(imported->exportedAt, backup.exportedAt);

    const Project& a = imported->projects[0];
    ASSERT_TRUE(a.deck);
    EXPECT_TRUE(a.deck->filePath.startsWith(store() + u'/'));
    EXPECT_EQ(a.deck->fileName, QStringLiteral("讲稿.key"));
    EXPECT_EQ(readFile(a.deck->filePath), "keynote");
    EXPECT_EQ(a.deck->slides, bound.deck->slides);
    EXPECT_EQ(a.keynoteNotesBackup->documentPath, a.deck->filePath);
    EXPECT_EQ(a.keynoteNotesBackup->notesBySlide, bound.keynoteNotesBackup->notesBySlide);
    EXPECT_EQ(a.deckAssetPath, "Documents/" + platform::uuidString(bound.id) + "/讲稿.key");
    // Everything but the deck's place survives unchanged.
    Project expected = bound;
    expected.deck = a.deck;
    expected.deckAssetPath = a.deckAssetPath;
    expected.keynoteNotesBackup = a.keynoteNotesBackup;
    EXPECT_EQ(a, expected);

    EXPECT_EQ(imported->projects[1].keynoteNotesBackup, foreign.keynoteNotesBackup);
    EXPECT_EQ(imported->projects[2], plain);
    EXPECT_EQ(listTree(store()).size(), 4); // two folders, two copies
}

TEST_F(BackupPackageTest, PackageMustCarryTheExtensionAndAReadableManifest)
{
    const QString upper = path("upper.QUORVIABACKUP");
    writeManifest(upper, backupOf({backupProject("甲")}).toJson());
    EXPECT_TRUE(ProjectBackupPackage::importBackup(upper, store()));

    const QString other = path("other.zip");
    writeManifest(other, backupOf({backupProject("甲")}).toJson());
    EXPECT_EQ(ownError(ProjectBackupPackage::importBackup(other, store())), ProjectBackupError::invalidPackage());

    QDir().mkpath(path("empty.quorviabackup"));
    EXPECT_EQ(failureText(ProjectBackupPackage::importBackup(path("empty.quorviabackup"), store())),
              QStringLiteral("所选文件不是有效的演讲项目备份。"));

    writeFile(path("garbled.quorviabackup/manifest.json"), "{not json");
    EXPECT_EQ(ownError(ProjectBackupPackage::importBackup(path("garbled.quorviabackup"), store())),
              ProjectBackupError::invalidPackage());

    // A manifest reached through a link out of the package is not the package's.
    writeManifest(path("real"), backupOf({backupProject("甲")}).toJson());
    QDir().mkpath(path("linked.quorviabackup"));
    makeLink(path("real/manifest.json"), path("linked.quorviabackup/manifest.json"));
    EXPECT_EQ(ownError(ProjectBackupPackage::importBackup(path("linked.quorviabackup"), store())),
              ProjectBackupError::invalidPackage());
}

TEST_F(BackupPackageTest, ManifestMembersAreCheckedStrictly)
{
    const QJsonObject manifest = backupOf({backupProject("甲")}).toJson();
    writeManifest(package(), withFirstProject(manifest, [](QJsonObject& p) { p.remove("speechProgress"); }));
    EXPECT_EQ(ownError(ProjectBackupPackage::importBackup(package(), store())), ProjectBackupError::invalidPackage());

    QJsonObject later = manifest;
    later.insert("formatVersion", 2);
    writeManifest(package(), later);
    EXPECT_EQ(failureText(ProjectBackupPackage::importBackup(package(), store())), QStringLiteral("该备份使用不受支持的格式版本 2。"));

    QJsonObject empty = manifest;
    empty.insert("projects", QJsonArray());
    writeManifest(package(), empty);
    EXPECT_EQ(ownError(ProjectBackupPackage::importBackup(package(), store())), ProjectBackupError::emptyBackup());

    // No deck and a stray asset path: read, and the path dropped.
    writeManifest(package(), withFirstProject(manifest, [](QJsonObject& p) { p.insert("deckAssetPath", "Documents/x/y.key"); }));
    const auto read = ProjectBackupPackage::importBackup(package(), store());
    ASSERT_TRUE(read);
    EXPECT_FALSE(read->projects[0].deck);
    EXPECT_FALSE(read->projects[0].deckAssetPath);
}

TEST_F(BackupPackageTest, UnsafeAssetPathsAreRefused)
{
    writeFile(package() + "/Documents/A/talk.key", "deck");
    for (const char* unsafe : {"", "/x", "a//b", "a/", "a/../b", "./a", "Documents/A/../A/talk.key"}) {
        writeManifest(package(), singleProjectManifest(QString::fromUtf8(unsafe)));
        EXPECT_EQ(failureText(ProjectBackupPackage::importBackup(package(), store())), QStringLiteral("备份中的演示文稿路径无效。"))
            << unsafe;
        EXPECT_FALSE(ProjectBackupPackage::isSafeRelativePath(QString::fromUtf8(unsafe))) << unsafe;
    }
    // A NUL would cut the path short when it reaches the file system.
    const QString withNul = QStringLiteral("Documents/A/talk.key") + QChar(0) + QStringLiteral("/../../x");
    writeManifest(package(), singleProjectManifest(withNul));
    EXPECT_EQ(ownError(ProjectBackupPackage::importBackup(package(), store())), ProjectBackupError::invalidPresentationPath());

    writeManifest(package(), withFirstProject(singleProjectManifest(), [](QJsonObject& p) { p.remove("deckAssetPath"); }));
    EXPECT_EQ(ownError(ProjectBackupPackage::importBackup(package(), store())), ProjectBackupError::invalidPresentationPath());

    EXPECT_TRUE(ProjectBackupPackage::isSafeRelativePath("Documents/A/talk.key"));
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
    EXPECT_EQ(ownError(ProjectBackupPackage::importBackup(package(), store())), ProjectBackupError::invalidPresentationPath());

    // A folder on the way is a link out of the package.
    const QString viaFolder = path("via.quorviabackup");
    writeFile(path("outside/A/talk.key"), "deck");
    QDir().mkpath(viaFolder);
    makeLink(path("outside"), viaFolder + "/Documents");
    writeManifest(viaFolder, singleProjectManifest());
    EXPECT_EQ(ownError(ProjectBackupPackage::importBackup(viaFolder, store())), ProjectBackupError::invalidPresentationPath());

    // A link inside a folder document reaches out, even one whose target is missing.
    const QString nested = path("nested.quorviabackup");
    writeFile(nested + "/Documents/A/talk.key/Index.zip", "index");
    makeLink("../../../../secret.txt", nested + "/Documents/A/talk.key/leak");
    writeManifest(nested, singleProjectManifest());
    EXPECT_EQ(ownError(ProjectBackupPackage::importBackup(nested, store())), ProjectBackupError::invalidPresentationPath());
    QFile::remove(nested + "/Documents/A/talk.key/leak");
    makeLink("/nonexistent/anything", nested + "/Documents/A/talk.key/dangling");
    EXPECT_EQ(ownError(ProjectBackupPackage::importBackup(nested, store())), ProjectBackupError::invalidPresentationPath());

    EXPECT_FALSE(QFileInfo::exists(store()));
}

TEST_F(BackupPackageTest, LinksWithinThePackageAreKept)
{
    writeFile(package() + "/Documents/A/talk.key/Data/image.png", "png");
    makeLink("Data/image.png", package() + "/Documents/A/talk.key/preview.png");
    writeManifest(package(), singleProjectManifest());
    const auto imported = ProjectBackupPackage::importBackup(package(), store());
    ASSERT_TRUE(imported) << failureText(imported).toStdString();
    const QString copy = imported->projects[0].deck->filePath;
    EXPECT_TRUE(QFileInfo(copy + "/preview.png").isSymLink());
    EXPECT_EQ(readFile(copy + "/preview.png"), "png");
}

TEST_F(BackupPackageTest, MissingThirdDocumentNamesItsProjectAndKeepsEarlierCopies)
{
    Project a = backupProject("一", deckAt(deckFile("1.key")));
    Project b = backupProject("二", deckAt(deckFile("2.key")));
    Project c = backupProject("第三个项目", deckAt(deckFile("3.key")));
    ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupOf({a, b, c}), package()));
    QFile::remove(package() + "/Documents/" + platform::uuidString(c.id) + "/3.key");

    const auto result = ProjectBackupPackage::importBackup(package(), store());
    EXPECT_EQ(failureText(result), QStringLiteral("项目“第三个项目”对应的演示文稿已丢失，无法生成或恢复完整备份。"));
    EXPECT_EQ(listTree(store()).size(), 4);
}
