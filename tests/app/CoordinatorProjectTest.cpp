#include "CoordinatorHarness.h"

#include "model/BackupFixtures.h"
#include "model/DriveImage.h"
#include "model/MountedDrive.h"
#include "model/ProjectBackupPackage.h"
#include "model/ProjectDocumentStore.h"
#include "model/PromptScript.h"
#include "platform/files/AtomicFileWrite.h"
#include "platform/linux/settings/SettingsDefaults.h"
#include "support/QtPrinting.h"
#include "support/ReadOnlyFolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace quorvia;
using namespace quorvia::test;
using Document = SimulatedKeynote::Document;

namespace {

const QString kFinishEditing = QStringLiteral("请先完成当前稿件编辑");
const QString kDuplicated = QStringLiteral("项目及其演示文稿已复制为独立副本。原项目不会随副本修改而改变。");

// A private data folder, so the document store never touches the user's.
class CoordinatorProjectTest : public CoordinatorHarness {
protected:
    CoordinatorProjectTest() : previousDataHome(qgetenv("XDG_DATA_HOME"))
    {
        qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
        buildAndStart();
        app().script().replaceText(QStringLiteral("1\none\n---\n2\ntwo"));
    }
    ~CoordinatorProjectTest() override { qputenv("XDG_DATA_HOME", previousDataHome); }

    std::vector<QString> names()
    {
        std::vector<QString> result;
        for (const auto& summary : app().script().projectSummaries())
            result.push_back(summary.name);
        return result;
    }
    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = files.filePath(name);
        QFile out(path);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes);
        return path;
    }
    // Keynote opens whatever it is asked to open, with this many slides.
    void keynoteOpensAnything(int slides)
    {
        keynote->launch();
        workspace->onOpenDocument = [this, slides](const QString& path, const QString&) {
            keynote->open(Document::withSlides(QFileInfo(path).fileName(), path, slides));
        };
    }
    // The hash of every file under a folder, by relative path.
    std::map<QString, QByteArray> contents(const QString& folder)
    {
        std::map<QString, QByteArray> result;
        QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            EXPECT_TRUE(file.open(QIODevice::ReadOnly));
            result[QDir(folder).relativeFilePath(file.fileName())] =
                QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
        }
        return result;
    }
    const platform::AlertRequest& lastAlert() { return dialogs->alerts.back(); }

    QTemporaryDir home;
    QTemporaryDir files;
    QByteArray previousDataHome;
};

TEST_F(CoordinatorProjectTest, AnOpenEditorRefusesEveryProjectChangeAndComesForward)
{
    app().showScriptEditor();
    const auto before = names();
    const QUuid other = app().script().createProject(QStringLiteral("另一个"));
    app().script().selectProject(app().script().projectSummaries().front().id);
    for (int i = 0; i < 7; ++i)
        dialogs->answerAlert(0);

    EXPECT_FALSE(app().selectPresentationProject(other));
    app().createPresentationProject();
    app().renamePresentationProject();
    app().deletePresentationProject();
    app().duplicatePresentationProject();
    app().exportProjectBackup();
    app().importProjectBackup();
    settle();
    EXPECT_EQ(dialogs->alertMessages(), std::vector<QString>(7, kFinishEditing));
    EXPECT_EQ(lastAlert().buttons, std::vector{QStringLiteral("知道了")});
    EXPECT_TRUE(dialogs->panels.empty());
    EXPECT_EQ(names().size(), before.size() + 1);
    EXPECT_NE(app().script().activeProjectID(), other);

    app().scriptEditor()->window()->orderOut();
    EXPECT_TRUE(app().selectPresentationProject(other));
    EXPECT_EQ(app().script().activeProjectID(), other);
}

TEST_F(CoordinatorProjectTest, CreateProposesTheNextNumberAndCancellingChangesNothing)
{
    app().script().createProject(QStringLiteral("二"));
    app().script().createProject(QStringLiteral("三"));
    app().scroll().start();
    dialogs->answerAlert(1, QStringLiteral("x"));
    app().createPresentationProject();
    ASSERT_TRUE(lastAlert().textField);
    EXPECT_EQ(lastAlert().textField->initialValue, QStringLiteral("新演讲 4"));
    EXPECT_EQ(lastAlert().buttons, (std::vector{QStringLiteral("新建"), QStringLiteral("取消")}));
    EXPECT_EQ(names().size(), 3u);
    EXPECT_TRUE(app().scroll().isRunning());

    dialogs->answerAlert(0, QStringLiteral("   "));
    app().createPresentationProject();
    EXPECT_EQ(names().back(), QStringLiteral("未命名演讲"));
    EXPECT_EQ(app().script().activeProjectName(), QStringLiteral("未命名演讲"));
    EXPECT_FALSE(app().scroll().isRunning());

    dialogs->answerAlert(0, QStringLiteral("年会"));
    app().renamePresentationProject();
    EXPECT_EQ(lastAlert().textField->initialValue, QStringLiteral("未命名演讲"));
    EXPECT_EQ(names().back(), QStringLiteral("年会"));
}

TEST_F(CoordinatorProjectTest, DeleteAsksByNameAndTheLastProjectIsNeverAsked)
{
    app().deletePresentationProject();
    EXPECT_TRUE(dialogs->alerts.empty());

    app().script().createProject(QStringLiteral("彩排"));
    dialogs->answerAlert(0);
    app().deletePresentationProject();
    EXPECT_EQ(lastAlert().messageText, QStringLiteral("删除“彩排”？"));
    EXPECT_EQ(lastAlert().style, platform::AlertStyle::warning);
    EXPECT_EQ(names().size(), 1u);
}

TEST_F(CoordinatorProjectTest, DuplicateWithoutADeckIsReadyAtOnceAndASwitchMeanwhileEndsSilently)
{
    dialogs->answerAlert(0);
    app().duplicatePresentationProject();
    EXPECT_TRUE(app().isProjectOperationRunning());
    settle();
    EXPECT_FALSE(app().isProjectOperationRunning());
    EXPECT_EQ(lastAlert().messageText, QStringLiteral("项目已就绪"));
    EXPECT_EQ(lastAlert().informativeText, kDuplicated);
    EXPECT_EQ(names().size(), 2u);

    const QUuid first = app().script().projectSummaries().front().id;
    app().duplicatePresentationProject();
    app().script().selectProject(first);
    settle();
    EXPECT_EQ(dialogs->alerts.size(), 1u);
    EXPECT_FALSE(app().isProjectOperationRunning());
    EXPECT_EQ(names().size(), 2u);

    goLive();
    app().duplicatePresentationProject();
    settle();
    EXPECT_EQ(names().size(), 2u);
}

// A duplicate whose project the settings cannot write is not said done.
TEST_F(CoordinatorProjectTest, ADuplicateWhoseProjectCannotBeSavedSaysSo)
{
    env.defaults().flushFailure = platform::DefaultsWriteFailure{QStringLiteral("/x"), QStringLiteral("磁盘已满")};
    dialogs->answerAlert(0);
    app().duplicatePresentationProject();
    settle();
    EXPECT_EQ(lastAlert().informativeText, kDuplicated + QStringLiteral(" 但项目无法保存到 /x（磁盘已满）。Quorvia 会继续尝试保存，保存成功前请勿关机。"));
}

TEST_F(CoordinatorProjectTest, ADuplicatedKeynoteDeckWithAnotherSlideCountLeavesSyncOff)
{
    const QString talk = writeFile(QStringLiteral("Talk.key"), "keynote");
    app().script().replaceDeck(PresentationDeck::keynoteDocument(talk, 12));
    keynoteOpensAnything(10);
    dialogs->answerAlert(0);
    app().duplicatePresentationProject();
    runFor(2.0);
    ASSERT_EQ(dialogs->alerts.size(), 1u);
    EXPECT_EQ(lastAlert().messageText, QStringLiteral("项目已恢复，双向同步保持关闭"));
    EXPECT_EQ(lastAlert().informativeText,
              kDuplicated + QStringLiteral(" 但 Keynote 当前实际页数与备份记录不一致，请检查文稿后重新导入。"));
    EXPECT_FALSE(app().sync().isEnabled());
    EXPECT_NE(app().script().deck()->filePath, talk);
    EXPECT_TRUE(QFileInfo::exists(app().script().deck()->filePath));
    EXPECT_FALSE(app().isProjectOperationRunning());
}

// A refusal names the project as the speaker knows it, not its deck's file.
TEST_F(CoordinatorProjectTest, ADuplicateRefusedForItsDeckNamesTheProject)
{
    app().script().createProject(QStringLiteral("小文稿演讲"));
    writeFile(QStringLiteral("secret.txt"), "secret");
    QDir(files.path()).mkpath(QStringLiteral("Small.key/Data"));
    writeFile(QStringLiteral("Small.key/Index.zip"), "index");
    ASSERT_TRUE(QFile::link(files.filePath(QStringLiteral("secret.txt")), files.filePath(QStringLiteral("Small.key/Data/outside"))));
    app().script().replaceDeck(PresentationDeck::keynoteDocument(files.filePath(QStringLiteral("Small.key")), 3));
    dialogs->answerAlert(0);
    app().duplicatePresentationProject();
    settle();
    EXPECT_EQ(lastAlert().messageText, QStringLiteral("复制项目失败"));
    EXPECT_EQ(lastAlert().informativeText, QStringLiteral("项目“小文稿演讲”的演示文稿中有指向它以外的链接。"));
}

TEST_F(CoordinatorProjectTest, ADuplicateWhoseDeckHasGoneNamesTheMissingFile)
{
    app().script().createProject(QStringLiteral("年终汇报"));
    app().script().replaceDeck(PresentationDeck::keynoteDocument(files.filePath(QStringLiteral("已删除.key")), 3));
    dialogs->answerAlert(0);
    app().duplicatePresentationProject();
    settle();
    EXPECT_EQ(lastAlert().messageText, QStringLiteral("复制项目失败"));
    EXPECT_EQ(lastAlert().informativeText,
              QStringLiteral("项目“已删除.key”对应的演示文稿已丢失，无法生成或恢复完整备份。"));
}

TEST_F(CoordinatorProjectTest, BackupsRoundTripAndNeverReplaceAnythingButABackup)
{
    const QString slides = writeFile(QStringLiteral("deck.pptx"), "pptx bytes");
    app().script().replaceDeck(PresentationDeck::keynoteDocument(slides, 3));
    app().script().createProject(QStringLiteral("二"));
    app().script().createProject(QStringLiteral("三"));
    app().script().selectProject(app().script().projectSummaries().front().id);

    dialogs->answerPanel(files.filePath(QStringLiteral("全部")));
    dialogs->answerAlert(0);
    const int flushes = env.defaults().flushes;
    app().exportProjectBackup();
    settle();
    // What the backup holds is on disk before the backup is written.
    EXPECT_EQ(env.defaults().flushes, flushes + 1);
    EXPECT_EQ(dialogs->panels[0].request.suggestedName, QStringLiteral("演讲项目备份.quorviabackup"));
    EXPECT_TRUE(dialogs->panels[0].saving);
    EXPECT_EQ(lastAlert().messageText, QStringLiteral("备份已导出"));
    EXPECT_EQ(lastAlert().informativeText, QStringLiteral("已备份 3 个项目。此备份可通过“导入备份”追加恢复。"));
    const QString package = files.filePath(QStringLiteral("全部.quorviabackup"));
    EXPECT_TRUE(QFileInfo(QDir(package).filePath(ProjectBackupPackage::manifestName)).isFile());

    app().script().createProject(QStringLiteral("四"));
    app().script().createProject(QStringLiteral("五"));
    const auto before = names();
    dialogs->answerPanel(package);
    dialogs->answerAlert(0);
    app().importProjectBackup();
    settle();
    EXPECT_EQ(lastAlert().messageText, QStringLiteral("项目已就绪"));
    EXPECT_EQ(lastAlert().informativeText, QStringLiteral("已追加恢复 3 个项目；原有项目保持不变。"));
    const auto after = names();
    ASSERT_EQ(after.size(), 8u);
    EXPECT_EQ(std::vector(after.begin(), after.begin() + 5), before);
    EXPECT_EQ(app().script().timelineBlocks().size(), 2u); // the backup's active project, with its script

    // Neither an ordinary folder nor a file under the package's name is replaced.
    QDir(files.path()).mkdir(QStringLiteral("旧.quorviabackup"));
    writeFile(QStringLiteral("旧.quorviabackup/keep.txt"), "keep");
    writeFile(QStringLiteral("单个.quorviabackup"), "file");
    const auto folderBefore = contents(files.filePath(QStringLiteral("旧.quorviabackup")));
    for (const QString& chosen : {QStringLiteral("旧.quorviabackup"), QStringLiteral("单个")}) {
        dialogs->answerPanel(files.filePath(chosen));
        dialogs->answerAlert(0);
        app().exportProjectBackup();
        settle();
        EXPECT_EQ(lastAlert().messageText, QStringLiteral("导出备份失败"));
    }
    EXPECT_EQ(contents(files.filePath(QStringLiteral("旧.quorviabackup"))), folderBefore);
    // The chooser says so itself, before it would ask to replace them.
    const auto& refuse = dialogs->panels.back().request.refuseReplacing;
    ASSERT_TRUE(refuse);
    const QString notABackup = QStringLiteral("所选位置已有同名文件或文件夹，且它不是演讲项目备份。请换一个名称或位置。");
    EXPECT_EQ(refuse(files.filePath(QStringLiteral("旧.quorviabackup"))), notABackup);
    EXPECT_EQ(refuse(files.filePath(QStringLiteral("单个"))), notABackup);
    EXPECT_EQ(refuse(package), std::nullopt);
    EXPECT_EQ(refuse(files.filePath(QStringLiteral("新的"))), std::nullopt);
    QFile single(files.filePath(QStringLiteral("单个.quorviabackup")));
    ASSERT_TRUE(single.open(QIODevice::ReadOnly));
    EXPECT_EQ(single.readAll(), QByteArray("file"));

    // An existing backup is replaced whole.
    dialogs->answerPanel(package);
    dialogs->answerAlert(0);
    app().exportProjectBackup();
    settle();
    EXPECT_EQ(lastAlert().informativeText, QStringLiteral("已备份 8 个项目。此备份可通过“导入备份”追加恢复。"));
}

// The system's own words for the error are English: the speaker reads ours.
TEST_F(CoordinatorProjectTest, AnExportIntoAReadOnlyFolderSaysWhyInChinese)
{
    const ReadOnlyFolder readOnly(files.filePath(QStringLiteral("只读")));
    if (!readOnly.isMounted())
        GTEST_SKIP() << "a read-only folder of its own needs root to mount";
    dialogs->answerPanel(files.filePath(QStringLiteral("只读/全部")));
    dialogs->answerAlert(0);
    app().exportProjectBackup();
    settle();
    EXPECT_EQ(lastAlert().messageText, QStringLiteral("导出备份失败"));
    EXPECT_EQ(lastAlert().informativeText, QStringLiteral("文件夹所在的磁盘只读。"));
}

TEST_F(CoordinatorProjectTest, ImportOfSomethingElseFailsWithThePackagesReason)
{
    dialogs->answerPanel(files.path());
    dialogs->answerAlert(0);
    app().importProjectBackup();
    settle();
    EXPECT_EQ(lastAlert().messageText, QStringLiteral("导入备份失败"));
    EXPECT_EQ(lastAlert().informativeText, QStringLiteral("所选文件不是有效的演讲项目备份。"));
    EXPECT_FALSE(app().isProjectOperationRunning());
    EXPECT_EQ(names().size(), 1u);
}

// The power is cut right after an import says it is done, and right after a
// duplicate does, with nothing written back since: the drive holds the stored
// projects naming their decks, and the decks whole. The settings here gather
// changes for an hour, so only what the answer waits for is there. Neither is said done while the settings' folder sync fails.
// The import said done keeps its deck through a start under a copy of the settings from before it, put back for that start.
TEST_F(CoordinatorProjectTest, AProjectSaidDoneIsOnTheDriveWithItsDeck)
{
    const DriveImage image = DriveImage::ext4(64);
    MountedDrive drive(MountedDrive::Kind::ext4Image, image.path());
    if (!drive.mounted())
        GTEST_SKIP() << "a drive of its own needs root to mount";
    const QByteArray bytes(1 << 20, 'm');
    ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupOf({backupProject("甲", writeFile("talk.pptx", bytes))}), files.filePath("全部.quorviabackup")));
    const std::shared_ptr<void> leave(nullptr, [&](void*) { coordinator.reset(); env.platform().defaultsService = std::make_shared<MemoryDefaults>(); platform::onSync = nullptr; });
    coordinator.reset();
    qputenv("XDG_DATA_HOME", drive.path().toLocal8Bit());
    env.platform().defaultsService = std::make_shared<platform::native::SettingsDefaults>(drive.path("settings"), QString(), 3600);
    buildAndStart();
    const std::string settings = drive.path("settings").toStdString(), older = files.filePath("older").toStdString();
    ASSERT_FALSE(env.platform().defaultsService->flush());
    std::filesystem::copy(settings, older);
    for (const auto& [importing, failing] : {std::pair(true, false), std::pair(false, false), std::pair(true, true), std::pair(false, true)}) {
        if (failing && importing)
            platform::onSync = [at = QFileInfo(drive.path("settings")).canonicalFilePath()](int fd) { return QFile::symLinkTarget("/proc/self/fd/" + QString::number(fd)) == at ? EIO : 0; };
        dialogs->answerPanel(files.filePath("全部.quorviabackup"));
        dialogs->answerAlert(0);
        importing ? app().importProjectBackup() : app().duplicatePresentationProject();
        settle();
        ASSERT_EQ(lastAlert().messageText, failing ? QStringLiteral("项目尚未保存") : QStringLiteral("项目已就绪")) << importing;
        EXPECT_EQ(QDir(drive.path("com.local.quorvia.mvp/ProjectDocuments/.incoming")).entryList(QDir::Files | QDir::Hidden).size(), failing ? 1 : 0) << importing;
        if (failing)
            continue;
        const MountedDrive cut(MountedDrive::Kind::ext4Image, image.copy().path());
        const platform::native::SettingsDefaults stored(cut.path("settings"), QString());
        const QString deck = app().script().deck()->filePath;
        EXPECT_TRUE(PromptScript::storedDocumentPaths(stored, stored.location(), stored.identity()).value_or(QStringList()).contains(deck)) << importing;
        EXPECT_EQ(readFile(cut.path(deck.mid(drive.path().size() + 1))), bytes) << importing;
        if (!importing)
            continue;
        std::filesystem::rename(settings, settings + ".now");
        std::filesystem::copy(older, settings);
        for (const auto& left : ProjectDocumentStore::discardInterruptedCopies(std::nullopt, [&](const QString& at, const QString& id) {
                 return PromptScript::storedDocumentPaths(platform::native::SettingsDefaults(drive.path("settings"), QString()), at, id); }))
            std::filesystem::remove_all(left);
        std::filesystem::remove_all(settings);
        std::filesystem::rename(settings + ".now", settings);
        EXPECT_TRUE(readFile(deck) == bytes) << "the deck of the import said done went";
    }
}

// A quit takes the coordinator down while an export waits to run, as main()
// does before it waits for the work: the backup is still written whole, and nothing is said.
TEST_F(CoordinatorProjectTest, AQuitWhileAnExportWaitsStillWritesTheBackup)
{
    dialogs->answerPanel(files.filePath("全部"));
    app().exportProjectBackup();
    env.scheduler().runPending();
    const std::size_t said = dialogs->alerts.size();
    coordinator.reset();
    settle();
    EXPECT_TRUE(contents(files.filePath("全部.quorviabackup")).contains("manifest.json"));
    EXPECT_EQ(dialogs->alerts.size(), said);
}

} // namespace
