#include "BackupFixtures.h"
#include "ModelFixtures.h"

#include "model/ProjectBackupPackage.h"
#include "support/QtPrinting.h"

#include <QDateTime>

using namespace quorvia;
using namespace quorvia::test;

namespace {

class PromptScriptBackupTest : public PromptScriptTest {
protected:
    QString path(const QString& relative) const { return dir.filePath(relative); }

    // The application's two steps: the package on its own, then the model.
    std::expected<qint64, ProjectBackupFailure> importPackage(const QString& package)
    {
        auto record = ProjectBackupPackage::importBackup(package, nullptr, path("store"));
        if (!record)
            return std::unexpected(record.error());
        auto added = script->importProjectsBackup(*record);
        if (!added)
            return std::unexpected(ProjectBackupFailure(added.error()));
        return *added;
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(PromptScriptBackupTest, BackupRecordSnapshotsTheActiveProjectAndSavesNothing)
{
    StoredProject talk = makeProject("讲演", makeBlocks({{"1", "开场"}, {"2", "正文"}}));
    StoredProject older;
    older.id = platform::newUuid();
    older.name = QStringLiteral("旧稿");
    older.rawText = QStringLiteral("1\n第一段\n---\nDemo\n现场");
    makeScript({talk, older});
    script->moveNext();
    log->entries.clear();
    const int writes = env.defaults().writeCount();

    // A clock that answers in another zone still gives the instant in UTC.
    env.scheduler().setCurrentDate(QDateTime(QDate(2026, 5, 4), QTime(16, 7, 6, 543), Qt::OffsetFromUTC, 8 * 3600));
    const PresentationProjectsBackup backup = script->makeProjectsBackup();

    EXPECT_EQ(env.defaults().writeCount(), writes);
    EXPECT_TRUE(log->entries.isEmpty());
    EXPECT_EQ(backup.activeProjectID, talk.id);
    EXPECT_EQ(backup.exportedAt, QDateTime(QDate(2026, 5, 4), QTime(8, 7, 6), Qt::UTC));
    ASSERT_EQ(backup.projects.size(), 2u);

    const auto& active = backup.projects[0];
    EXPECT_EQ(active.currentIndex, 1); // the working field, not the stale record
    EXPECT_FALSE(active.deckAssetPath);

    // An older record is filled in the way loading would read it.
    const auto& migrated = backup.projects[1];
    EXPECT_EQ(migrated.timelineBlocks.size(), 2u);
    EXPECT_EQ(migrated.slideMappings, (std::vector<std::optional<qint64>>{1, std::nullopt}));
    EXPECT_EQ(migrated.promptMode, PromptMode::fixedScroll);
    EXPECT_TRUE(migrated.speechProgress.empty() && migrated.completedSections.empty() && migrated.slideMappingReviews.empty());
}

TEST_F(PromptScriptBackupTest, ExportThenImportAddsProjectsUnderNewIdsAndNames)
{
    writeFile(path("decks/讲稿.key"), "deck");
    StoredProject talk = makeProject("讲演", makeBlocks({{"1", "开场白"}, {"2", "正文"}}));
    talk.deck = PresentationDeck::keynoteDocument(path("decks/讲稿.key"), 2);
    talk.keynoteNotesBackup = KeynotePresenterNotesBackup{QStringLiteral("讲稿.key"), talk.deck->filePath, 2, {{1, QStringLiteral("备注")}}};
    StoredProject other = makeProject("备用", makeBlocks({{"1", "备用内容"}}));
    other.keynoteNotesBackup = KeynotePresenterNotesBackup{QStringLiteral("别的.key"), QStringLiteral("/x/别的.key"), 9, {}};
    makeScript({talk, other}, other.id);
    const StoredState storedBefore = storedState();

    const QString package = path("全部.quorviabackup");
    ASSERT_TRUE(ProjectBackupPackage::exportBackup(script->makeProjectsBackup(), package));
    script->setSpeechProgress(2, 0, false);
    log->entries.clear();

    const auto added = importPackage(package);
    ASSERT_TRUE(added) << description(added.error()).toStdString();
    EXPECT_EQ(*added, 2);
    EXPECT_EQ(namesOf(*script), (QStringList{"讲演", "备用", "讲演（导入）", "备用（导入）"}));
    EXPECT_EQ(log->entries, (QStringList{"PresentationProjectsChanged", "PromptScriptChanged:system", "PresentationDeckChanged"}));

    // New ids; the counterpart of the exporting model's active project is active and stored.
    const StoredState storedAfter = storedState();
    ASSERT_EQ(storedAfter.projects.size(), 4u);
    EXPECT_NE(storedAfter.projects[2].id, talk.id);
    EXPECT_EQ(script->activeProjectID(), storedAfter.projects[3].id);
    EXPECT_EQ(script->sections(), QStringList{"备用内容"});
    // Originals are untouched; the imported deck and the notes of that deck are the store's copy.
    EXPECT_EQ(storedAfter.projects[0], storedBefore.projects[0]);
    const StoredProject& imported = storedAfter.projects[2];
    EXPECT_EQ(imported.timelineBlocks, talk.timelineBlocks);
    ASSERT_TRUE(imported.deck && imported.keynoteNotesBackup);
    EXPECT_TRUE(imported.deck->filePath.startsWith(path("store") + u'/'));
    EXPECT_EQ(imported.keynoteNotesBackup, talk.keynoteNotesBackup->relocated(imported.deck->filePath));
    EXPECT_EQ(storedAfter.projects[3].keynoteNotesBackup, other.keynoteNotesBackup);
}

TEST_F(PromptScriptBackupTest, NamesStayUniqueWithinOneImport)
{
    makeScript(makeBlocks({{"1", "内容"}}));
    PresentationProjectsBackup backup = backupOf({backupProject(QStringLiteral("新讲演")), backupProject(QStringLiteral("新讲演"))});
    backup.activeProjectID = platform::newUuid(); // names no project of the backup

    ASSERT_TRUE(script->importProjectsBackup(backup));
    EXPECT_EQ(namesOf(*script), (QStringList{"Talk", "新讲演", "新讲演（导入）"}));
    EXPECT_EQ(script->activeProjectID(), script->projectSummaries()[1].id);

    // The same backup again: every name is taken now.
    ASSERT_TRUE(script->importProjectsBackup(backup));
    EXPECT_EQ(namesOf(*script).size(), 5);
    EXPECT_EQ(namesOf(*script)[3], QStringLiteral("新讲演（导入） 2"));
}

TEST_F(PromptScriptBackupTest, ThousandsOfProjectsWithOneNameEachGetTheNextFreeVariant)
{
    makeScript(makeBlocks({{"1", "内容"}}));
    script->createProject(QStringLiteral("talk（导入） 3")); // another case, already taken
    std::vector<PresentationProjectsBackup::Project> projects;
    for (int i = 0; i < 4000; ++i)
        projects.push_back(backupProject(i % 2 ? QStringLiteral("Talk") : QStringLiteral(" TALK ")));
    const PresentationProjectsBackup backup = backupOf(projects);

    ASSERT_EQ(script->importProjectsBackup(backup), 4000);
    const QStringList names = namesOf(*script);
    ASSERT_EQ(names.size(), 4002);
    EXPECT_EQ(names.mid(2, 5), (QStringList{"TALK（导入）", "Talk（导入） 2", "TALK（导入） 4", "Talk（导入） 5", "TALK（导入） 6"}));
    EXPECT_EQ(names.back(), QStringLiteral("Talk（导入） 4001"));
    QSet<QString> folded;
    for (const QString& name : names)
        folded.insert(name.toCaseFolded());
    EXPECT_EQ(folded.size(), names.size());

    // A second import goes on from where the first left off.
    ASSERT_EQ(script->importProjectsBackup(backupOf({backupProject(QStringLiteral("talk"))})), 1);
    EXPECT_EQ(namesOf(*script).back(), QStringLiteral("talk（导入） 4002"));
}

TEST_F(PromptScriptBackupTest, FailedImportsLeaveTheModelUnchanged)
{
    makeScript(makeBlocks({{"1", "内容"}}));
    std::vector<PresentationProjectsBackup::Project> projects;
    for (const char* name : {"一", "二", "三号项目"}) {
        const QString file = path(QString::fromUtf8(name) + ".key");
        writeFile(file, "deck");
        projects.push_back(backupProject(QString::fromUtf8(name), file));
    }
    const QString package = path("三个.quorviabackup");
    ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupOf(projects), package));
    QFile::remove(package + "/Documents/" + platform::uuidString(projects[2].id) + "/三号项目.key");
    script->setSpeechProgress(2, 0, false);
    log->entries.clear();
    const int writes = env.defaults().writeCount();

    const auto result = importPackage(package);
    EXPECT_EQ(description(result.error()), QStringLiteral("项目“三号项目”对应的演示文稿已丢失，无法生成或恢复完整备份。"));
    EXPECT_TRUE(listTree(path("store")).isEmpty()); // nothing of the failed import stays

    // The model itself refuses before it changes anything, the current speech progress included.
    PresentationProjectsBackup later = backupOf({backupProject(QStringLiteral("甲"))});
    later.formatVersion = 2;
    EXPECT_EQ(script->importProjectsBackup(later).error().description(), QStringLiteral("该备份使用不受支持的格式版本 2。"));
    EXPECT_EQ(script->importProjectsBackup(backupOf({})).error(), ProjectBackupError::emptyBackup());

    EXPECT_EQ(env.defaults().writeCount(), writes);
    EXPECT_TRUE(log->entries.isEmpty());
    EXPECT_EQ(script->speechProgress(), (std::vector<qint64>{2}));
    EXPECT_EQ(namesOf(*script), QStringList{"Talk"});
}
