#include "BackupFixtures.h"
#include "DriveImage.h"
#include "MountedDrive.h"

#include "model/ProjectBackupPackage.h"
#include "model/ProjectDocumentStore.h"
#include "model/PromptScript.h"
#include "platform/linux/settings/SettingsDefaults.h"
#include "platform/files/WriteGate.h"
#include "platform/core/Uuid.h"
#include "support/EventWait.h"
#include "support/QtPrinting.h"
#include "support/TestPlatform.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <csignal>
#include <string_view>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quorvia;
using namespace quorvia::test;

namespace {

class DocumentStoreTest : public ::testing::Test {
protected:
    QString path(const QString& relative) const { return dir.filePath(relative); }
    QString root() const { return path(QStringLiteral("store")); }
    // The default store lies under data/ here until the result goes.
    std::shared_ptr<void> dataHomeHere() const
    {
        const QByteArray previous = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", path("data").toLocal8Bit());
        return std::shared_ptr<void>(nullptr, [previous](void*) {
            previous.isNull() ? void(qunsetenv("XDG_DATA_HOME")) : void(qputenv("XDG_DATA_HOME", previous));
        });
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(DocumentStoreTest, CopiesOfOneFileLandInTheirOwnFolders)
{
    writeFile(path("演讲.key"), "deck");
    const auto first = ProjectDocumentStore::copyDocument(path("演讲.key"), root());
    const auto second = ProjectDocumentStore::copyDocument(path("演讲.key"), root());
    ASSERT_TRUE(first && second) << failureText(first).toStdString();
    EXPECT_NE(*first, *second);
    // <root>/<UUID in upper case>/<the source's name>
    const QRegularExpression layout('^' + QRegularExpression::escape(root()) + "/[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}/演讲\\.key$");
    for (const QString& copy : {*first, *second}) {
        EXPECT_TRUE(layout.match(copy).hasMatch()) << copy.toStdString();
        EXPECT_EQ(readFile(copy), "deck");
    }
}

TEST_F(DocumentStoreTest, MissingSourceNamesTheFileAndCreatesNothing)
{
    const auto result = ProjectDocumentStore::copyDocument(path("gone/报告.key"), root());
    EXPECT_EQ(failureText(result), QStringLiteral("项目“报告.key”对应的演示文稿已丢失，无法生成或恢复完整备份。"));
    EXPECT_FALSE(QFileInfo::exists(root()));
}

// The store takes a deck as a backup does: links inside stay links, a link
// at the top is followed, and a link leading out is refused in the deck
// rule's words, before anything reaches the store.
TEST_F(DocumentStoreTest, LinksInsideFoldersStayLinksAndALinkedSourceIsCopiedWhole)
{
    writeFile(path("talk.key/Index.zip"), "index");
    writeFile(path("talk.key/Data/image.png"), "png");
    makeLink("../Index.zip", path("talk.key/Data/index"));
    const auto copy = ProjectDocumentStore::copyDocument(path("talk.key"), root());
    ASSERT_TRUE(copy) << failureText(copy).toStdString();
    EXPECT_EQ(listTree(*copy), (QStringList{"Data", "Data/image.png", "Data/index", "Index.zip"}));
    EXPECT_TRUE(QFileInfo(*copy + "/Data/index").isSymLink());

    writeFile(path("secret.txt"), "secret");
    makeLink(path("secret.txt"), path("alias.key"));
    const auto aliasCopy = ProjectDocumentStore::copyDocument(path("alias.key"), root());
    ASSERT_TRUE(aliasCopy);
    EXPECT_TRUE(aliasCopy->endsWith("/alias.key"));
    EXPECT_FALSE(QFileInfo(*aliasCopy).isSymLink());
    EXPECT_EQ(readFile(*aliasCopy), "secret");

    const QStringList before = listTree(root());
    makeLink("../../secret.txt", path("talk.key/Data/outside"));
    EXPECT_EQ(failureText(ProjectDocumentStore::copyDocument(path("talk.key"), root())),
              QStringLiteral("项目“talk.key”的演示文稿中有指向它以外的链接。"));
    EXPECT_EQ(listTree(root()), before);
}

TEST_F(DocumentStoreTest, FailedCopyRemovesItsNewFolder)
{
    // A pipe cannot be copied as a document.
    ASSERT_EQ(::mkfifo(path("pipe.key").toLocal8Bit().constData(), 0600), 0);
    QDir().mkpath(root());
    const auto result = ProjectDocumentStore::copyDocument(path("pipe.key"), root());
    EXPECT_EQ(failureText(result), QStringLiteral("项目“pipe.key”的演示文稿既不是文件也不是文件夹。"));
    EXPECT_TRUE(listTree(root()).isEmpty());
}

TEST_F(DocumentStoreTest, DefaultRootLivesInTheUserDataFolder)
{
    const auto dataHome = dataHomeHere();
    writeFile(path("a.key"), "a");
    const auto copy = ProjectDocumentStore::copyDocument(path("a.key"));
    ASSERT_TRUE(copy);
    EXPECT_TRUE(copy->startsWith(path("data/com.local.quorvia.mvp/ProjectDocuments/")));
}

// Every write into the store asks the installed write gate: where it refuses,
// nothing is copied in, imported, made, taken away or swept, in any store.
TEST_F(DocumentStoreTest, NothingIsWrittenWhereTheWriteGateRefuses)
{
    writeFile(path("a.key"), "deck");
    const QString package = path("备份.quorviabackup");
    ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupOf({backupProject(QStringLiteral("甲"), path("a.key"))}), package));
    ASSERT_TRUE(ProjectDocumentStore::copyDocument(path("a.key"), root()));
    // What a copy cut short leaves for the sweep, and an empty incoming folder.
    writeFile(root() + "/.incoming/A/deck.key", "part");
    ASSERT_TRUE(QDir().mkpath(path("other/.incoming")));
    const QStringList before = listTree(dir.path());

    struct RefusingGate final : platform::WriteGate {
        int allowed = 0; // asks let through before it refuses
        std::error_code beforeWrite(const QString&) override
        {
            return allowed-- > 0 ? std::error_code() : std::make_error_code(std::errc::device_or_resource_busy);
        }
    };
    const auto gate = std::make_shared<RefusingGate>();
    TestPlatform env;
    env.platform().writeGateService = gate;
    const auto dataHome = dataHomeHere();
    for (const std::optional<QString>& store : {std::optional(root()), std::optional(path("new")), std::optional<QString>()}) {
        EXPECT_FALSE(ProjectDocumentStore::copyDocument(path("a.key"), store));
        EXPECT_FALSE(ProjectBackupPackage::importBackup(package, nullptr, store));
    }
    // Refused only once the copy is made, it is not taken into the store either.
    gate->allowed = 1;
    EXPECT_FALSE(ProjectDocumentStore::copyDocument(path("a.key"), root()));
    gate->allowed = 1;
    EXPECT_FALSE(ProjectBackupPackage::importBackup(package, nullptr, root()));
    EXPECT_TRUE(ProjectDocumentStore::discardInterruptedCopies(root()).empty());
    ProjectDocumentStore::leaveIncomingFolder(ProjectDocumentStore::toPath(path("other")));
    EXPECT_EQ(listTree(dir.path()), before);
}

// A copy into the store, of a document or of a backup's deck, killed half way:
// the store itself never holds the partial copy, and the next start takes it
// away while every kept copy stays.
TEST_F(DocumentStoreTest, ACopyKilledHalfWayIsGoneAfterTheNextStart)
{
    namespace fs = std::filesystem;
    writeFile(path("small.key"), "deck");
    const auto kept = ProjectDocumentStore::copyDocument(path("small.key"), root());
    ASSERT_TRUE(kept) << failureText(kept).toStdString();
    const QStringList before = listTree(root());

    const QString package = path("演讲项目备份.quorviabackup");
    ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupOf({backupProject(QStringLiteral("甲"), path("small.key"))}), package));
    // Copies keep a sparse file's holes, so the deck that takes a while to copy holds data.
    QString large;
    for (const QString& item : listTree(package))
        if (item.endsWith(QStringLiteral("small.key"))) {
            large = package + u'/' + item;
            QFile file(large);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            const QByteArray chunk(1 << 20, 'd');
            for (int i = 0; i < 384; ++i)
                ASSERT_EQ(file.write(chunk), chunk.size());
        }

    for (const char* kind : {"document", "backup"}) {
        SCOPED_TRACE(kind);
        const pid_t child = forkEndingWithThisThread();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (std::string_view(kind) == "document")
                (void)ProjectDocumentStore::copyDocument(large, root());
            else
                (void)ProjectBackupPackage::importBackup(package, nullptr, root());
            ::_exit(0);
        }
        // Killed once the copy has begun to fill, wherever in the store it is made.
        const fs::path keptPath = ProjectDocumentStore::toPath(*kept);
        const bool underWay = test::waitUntil([&] {
            std::error_code error;
            for (fs::recursive_directory_iterator it(ProjectDocumentStore::toPath(root()), error), end; !error && it != end; it.increment(error))
                if (it->path() != keptPath && it->is_regular_file(error) && it->file_size(error) > 0
                    && it->file_size(error) != std::uintmax_t(-1))
                    return true;
            return false;
        }, 60000, 1);
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(underWay) << "the copy never began";

        QStringList inStore;
        for (const QString& item : listTree(root()))
            if (!item.startsWith(ProjectDocumentStore::incomingFolderName))
                inStore.append(item);
        EXPECT_EQ(inStore, before);

        std::error_code ignored;
        for (const fs::path& left : ProjectDocumentStore::discardInterruptedCopies(root()))
            fs::remove_all(left, ignored);
        EXPECT_EQ(listTree(root()), before);
        EXPECT_EQ(readFile(*kept), "deck");
    }
}

// An import of three decks killed at each admission of a deck into the store,
// then once all are in, before and after its projects are saved: after the
// next start the store holds all three once they are saved, else none, besides what it kept.
TEST_F(DocumentStoreTest, AnImportKilledAtAnyAdmissionLeavesAllItsDecksOrNone)
{
    writeFile(path("a.key"), "deck");
    const auto kept = ProjectDocumentStore::copyDocument(path("a.key"), root());
    ASSERT_TRUE(kept);
    const QString package = path("备份.quorviabackup");
    ASSERT_TRUE(ProjectBackupPackage::exportBackup(
        backupOf({backupProject("甲", path("a.key")), backupProject("乙", path("a.key")), backupProject("丙", path("a.key"))}), package));
    const qsizetype before = listTree(root()).size();
    TestPlatform env;
    // The settings are there before any import, as every start writes them.
    platform::native::SettingsDefaults(path("defaults"), QString());
    const auto stored = [&](const QString& settings, const QString& identity) {
        return PromptScript::storedDocumentPaths(platform::native::SettingsDefaults(path("defaults"), QString()), settings, identity);
    };
    for (const int admission : {0, 1, 2, 3, 4}) { // then unsaved, then saved
        SCOPED_TRACE(admission);
        const pid_t child = forkEndingWithThisThread();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ProjectDocumentStore::onAdmit = [admission, seen = 0]() mutable { if (seen++ == admission) ::raise(SIGKILL); };
            auto store = std::make_shared<platform::native::SettingsDefaults>(path("defaults"), QString());
            env.platform().defaultsService = store;
            PromptScript model(*store);
            const auto imported = ProjectBackupPackage::importBackup(package, store.get(), root());
            if (imported && admission == 4 && model.importProjectsBackup(*imported))
                (void)store->flush();
            ::raise(SIGKILL);
        }
        ASSERT_EQ(::waitpid(child, nullptr, 0), child);
        for (const std::filesystem::path& left : ProjectDocumentStore::discardInterruptedCopies(root(), stored))
            std::filesystem::remove_all(left);
        // A deck is its folder and its file.
        EXPECT_EQ(listTree(root()).size(), before + (admission == 4 ? 6 : 0)) << listTree(root()).join(u' ').toStdString();
    }
    EXPECT_EQ(readFile(*kept), "deck");
}

// A leftover import record as an earlier build wrote it, naming its settings
// by their folder alone: a start under them takes the store's copy they do not
// name, and moves nothing outside the store.
TEST_F(DocumentStoreTest, AnEarlierBuildsImportRecordTakesOnlyTheStoresOwnCopies)
{
    const QString copy = root() + u'/' + platform::uuidString(platform::newUuid());
    writeFile(path("outside/talk.key"), "deck");
    writeFile(copy + "/talk.key", "deck");
    writeFile(root() + "/.incoming/" + ProjectDocumentStore::admittingPrefix + "X",
              "settings:" + path("defaults").toUtf8().toBase64() + "\n../outside\n" + QFileInfo(copy).fileName().toLatin1() + '\n');
    platform::native::SettingsDefaults(path("defaults"), QString());
    const platform::native::SettingsDefaults settings(path("defaults"), QString());
    for (const auto& left : ProjectDocumentStore::discardInterruptedCopies(root(), [&](const QString& at, const QString& id) { return PromptScript::storedDocumentPaths(settings, at, id); }))
        std::filesystem::remove_all(left);
    EXPECT_EQ(readFile(path("outside/talk.key")), "deck");
    EXPECT_FALSE(QFileInfo::exists(copy));
}

// A stored deck keeps a copy by its folder's name alone: every time the record
// names the copy, and from a folder of that name outside the store too.
TEST_F(DocumentStoreTest, ARecordsCopyStaysForAnyStoredDeckInAFolderOfItsName)
{
    const auto copy = [&] {
        const QString name = platform::uuidString(platform::newUuid());
        writeFile(root() + u'/' + name + "/talk.key", "deck");
        return name;
    };
    const QString twice = copy(), elsewhere = copy(), unstored = copy();
    writeFile(root() + "/.incoming/" + ProjectDocumentStore::admittingPrefix + "X",
              ("settings:\n" + QStringList{twice, unstored, elsewhere, twice, unstored}.join(u'\n') + '\n').toLatin1());
    const QStringList documents{root() + u'/' + twice + "/talk.key", path("moved/") + elsewhere + "/talk.key"};
    for (const auto& left : ProjectDocumentStore::discardInterruptedCopies(root(), [&](const QString&, const QString&) { return std::optional(documents); }))
        std::filesystem::remove_all(left);
    QStringList kept{elsewhere, elsewhere + "/talk.key", twice, twice + "/talk.key"};
    kept.sort();
    EXPECT_EQ(listTree(root()), kept);
}

// An import whose projects were stored and one whose were not, then a start
// whose settings cannot tell what they name: another settings folder, the
// index and its copy damaged (and the start after, the damaged files set
// aside), the folder unreadable, a projects record of a newer version (and the
// start after the run that kept it aside), the folder empty, missing (and the start after the run that
// wrote it afresh), another user's settings copied or linked there, the projects' file missing (and the
// start after), these settings as they were before the imports copied into another folder. Then the usual settings again: the stored deck is there byte for byte, the other gone.
TEST_F(DocumentStoreTest, NoStartWhoseSettingsCannotTellTakesAStoredImportsDeck)
{
    namespace fs = std::filesystem;
    using platform::native::SettingsDefaults;
    writeFile(path("a.key/slides/1.xml"), "deck");
    ASSERT_TRUE(ProjectBackupPackage::exportBackup(backupOf({backupProject("甲", path("a.key"))}), path("b.quorviabackup")));
    TestPlatform env;
    const QString usual = path("usual");
    const auto settings = std::make_shared<SettingsDefaults>(usual, QString());
    env.platform().defaultsService = settings;
    PromptScript model(*settings);
    model.replaceText(QString(9000, u'字')); // the projects in a file of their own
    const auto start = [&](const QString& folder) {
        const SettingsDefaults read(folder, QString());
        for (const fs::path& left : ProjectDocumentStore::discardInterruptedCopies(root(), [&](const QString& at, const QString& id) { return PromptScript::storedDocumentPaths(read, at, id); }))
            fs::remove_all(left);
        return folder;
    };
    const auto run = [&](const QString& folder) { SettingsDefaults store(start(folder), QString()); PromptScript script(store); return folder; };
    const auto copyOver = [](const QString& from, const QString& to) { fs::remove_all(to.toStdString()); fs::copy(from.toStdString(), to.toStdString()); };
    // Each spoils the settings and answers the folder the odd start reads.
    const std::vector<std::function<QString()>> odd{
        [&] { return QDir().mkpath(path("other")) ? path("other") : QString(); },
        [&] { return QFile(usual + "/defaults.dat").resize(9) && QFile(usual + "/defaults-copy.dat").resize(9) ? start(usual) : QString(); },
        [&] { return QDir(usual).removeRecursively() && QFile(usual).open(QIODevice::WriteOnly) ? usual : QString(); },
        [&] {
            SettingsDefaults(usual, QString()).setData(PromptScript::projectsKey, "{\"newer\":1}");
            SettingsDefaults store(start(usual), QString());
            PromptScript run(store);
            return store.flush() ? QString() : usual;
        },
        [&] { return QDir(usual).removeRecursively() && QDir().mkpath(usual) ? usual : QString(); },
        [&] { return QDir(usual).removeRecursively() ? run(usual) : QString(); },
        [&] { return copyOver(run(path("theirs")), usual), usual; },
        [&] { return fs::remove_all(usual.toStdString()), fs::create_directory_symlink(path("theirs").toStdString(), usual.toStdString()), usual; },
        [&] { return QFile::remove(usual + u'/' + QDir(usual).entryList({"value-*"}).value(0)) ? run(usual) : QString(); },
        [&] { return copyOver(path("before"), path("copied")), path("copied"); },
    };
    for (std::size_t at = 0; at < odd.size(); ++at) {
        ASSERT_FALSE(settings->flush());
        copyOver(usual, path("before"));
        const auto imported = ProjectBackupPackage::importBackup(path("b.quorviabackup"), settings.get(), root());
        const auto unstored = ProjectBackupPackage::importBackup(path("b.quorviabackup"), settings.get(), root());
        ASSERT_TRUE(imported && unstored && model.importProjectsBackup(*imported) && !settings->flush());
        copyOver(usual, path("saved"));
        ASSERT_FALSE(start(odd[at]()).isEmpty());
        copyOver(path("saved"), usual);
        start(usual);
        EXPECT_EQ(readFile(imported->projects.front().deck->filePath + "/slides/1.xml"), "deck") << at;
        EXPECT_FALSE(QFileInfo::exists(unstored->projects.front().deck->filePath)) << at;
    }
}

// Records a start does not judge: one larger than any import writes, never
// read whole, so the start holds no more of it in memory than of a small one;
// and, on a drive whose names ignore case, one naming a stored copy in another
// spelling than the store's. The deck stays, stored or not.
TEST_F(DocumentStoreTest, AStartJudgesOnlyARecordAsAnImportWritesIt)
{
    const DriveImage image = DriveImage::exfat(32);
    const MountedDrive stick(MountedDrive::Kind::exfatImage, image.path());
    for (const QString& store : {root(), stick.path("store")}) {
        const bool large = store == root();
        if (!large && !stick.mounted())
            GTEST_SKIP() << "an exFAT drive through FUSE needs root, mkfs.exfat and mount.exfat-fuse";
        const QString copy = store + u'/' + platform::uuidString(platform::newUuid()), record = store + "/.incoming/" + ProjectDocumentStore::admittingPrefix + "X";
        writeFile(copy + "/talk.key", "deck");
        writeFile(record, "settings:\n" + (large ? QFileInfo(copy).fileName() : QFileInfo(copy).fileName().toLower()).toLatin1() + '\n');
        ASSERT_TRUE(!large || QFile::resize(record, qint64(256) << 20)); // a hole, taking no room
        rusage before {}, after {};
        ::getrusage(RUSAGE_SELF, &before);
        for (const auto& left : ProjectDocumentStore::discardInterruptedCopies(store, [&](const QString&, const QString&) { return std::optional(large ? QStringList() : QStringList{copy + "/talk.key"}); }))
            std::filesystem::remove_all(left);
        ::getrusage(RUSAGE_SELF, &after);
        EXPECT_EQ(readFile(copy + "/talk.key"), "deck") << large;
        EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 16 << 10) << large; // in KiB
    }
}
