#include "BackupFixtures.h"

#include "model/ProjectDocumentStore.h"

#include <QFileInfo>

#include <sys/stat.h>

using namespace quorvia;
using namespace quorvia::test;

namespace {

class DocumentStoreTest : public ::testing::Test {
protected:
    QString path(const QString& relative) const { return dir.filePath(relative); }
    QString root() const { return path(QStringLiteral("store")); }

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
    for (const QString& copy : {*first, *second}) {
        const QFileInfo info(copy);
        EXPECT_EQ(info.fileName(), QStringLiteral("演讲.key"));
        EXPECT_EQ(QFileInfo(info.absolutePath()).absolutePath(), QDir(root()).absolutePath());
        const auto folderId = platform::parseUuid(info.dir().dirName());
        ASSERT_TRUE(folderId.has_value());
        EXPECT_EQ(platform::uuidString(*folderId), info.dir().dirName());
        EXPECT_EQ(readFile(copy), "deck");
    }
}

TEST_F(DocumentStoreTest, MissingSourceNamesTheFileAndCreatesNothing)
{
    const auto result = ProjectDocumentStore::copyDocument(path("gone/报告.key"), root());
    EXPECT_EQ(ownError(result), ProjectBackupError::missingPresentation(QStringLiteral("报告.key")));
    EXPECT_EQ(failureText(result), QStringLiteral("项目“报告.key”对应的演示文稿已丢失，无法生成或恢复完整备份。"));
    EXPECT_FALSE(QFileInfo::exists(root()));
}

TEST_F(DocumentStoreTest, FolderDocumentsCopyWholeWithLinksKeptAsLinks)
{
    writeFile(path("talk.key/Index.zip"), "index");
    writeFile(path("talk.key/Data/image.png"), "png");
    writeFile(path("secret.txt"), "secret");
    makeLink(path("secret.txt"), path("talk.key/Data/outside"));
    const auto copy = ProjectDocumentStore::copyDocument(path("talk.key"), root());
    ASSERT_TRUE(copy) << failureText(copy).toStdString();
    EXPECT_EQ(listTree(*copy), (QStringList{"Data", "Data/image.png", "Data/outside", "Index.zip"}));
    EXPECT_EQ(readFile(*copy + "/Data/image.png"), "png");
    EXPECT_TRUE(QFileInfo(*copy + "/Data/outside").isSymLink());
}

TEST_F(DocumentStoreTest, LinkedSourceIsCopiedAsTheDocumentItself)
{
    writeFile(path("real.key"), "deck");
    makeLink(path("real.key"), path("alias.key"));
    const auto copy = ProjectDocumentStore::copyDocument(path("alias.key"), root());
    ASSERT_TRUE(copy);
    EXPECT_EQ(QFileInfo(*copy).fileName(), QStringLiteral("alias.key"));
    EXPECT_FALSE(QFileInfo(*copy).isSymLink());
    EXPECT_EQ(readFile(*copy), "deck");
}

TEST_F(DocumentStoreTest, FailedCopyRemovesItsNewFolder)
{
    // A pipe cannot be copied as a document.
    ASSERT_EQ(::mkfifo(path("pipe.key").toLocal8Bit().constData(), 0600), 0);
    QDir().mkpath(root());
    const auto result = ProjectDocumentStore::copyDocument(path("pipe.key"), root());
    ASSERT_FALSE(result);
    EXPECT_TRUE(std::holds_alternative<std::error_code>(result.error()));
    EXPECT_TRUE(listTree(root()).isEmpty());
}

TEST_F(DocumentStoreTest, DefaultRootLivesInTheUserDataFolder)
{
    const QByteArray previous = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", path("data").toLocal8Bit());
    const auto rootPath = ProjectDocumentStore::defaultRoot();
    writeFile(path("a.key"), "a");
    const auto copy = ProjectDocumentStore::copyDocument(path("a.key"));
    if (previous.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", previous);

    ASSERT_TRUE(rootPath);
    EXPECT_EQ(*rootPath, path("data/com.local.quorvia.mvp/ProjectDocuments"));
    EXPECT_TRUE(QFileInfo(*rootPath).isDir());
    ASSERT_TRUE(copy);
    EXPECT_TRUE(copy->startsWith(*rootPath + u'/'));
}
