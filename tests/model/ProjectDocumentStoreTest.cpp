#include "BackupFixtures.h"

#include "model/ProjectDocumentStore.h"

#include <QFileInfo>
#include <QRegularExpression>

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

TEST_F(DocumentStoreTest, LinksInsideFoldersStayLinksAndALinkedSourceIsCopiedWhole)
{
    writeFile(path("talk.key/Index.zip"), "index");
    writeFile(path("talk.key/Data/image.png"), "png");
    writeFile(path("secret.txt"), "secret");
    makeLink(path("secret.txt"), path("talk.key/Data/outside"));
    const auto copy = ProjectDocumentStore::copyDocument(path("talk.key"), root());
    ASSERT_TRUE(copy) << failureText(copy).toStdString();
    EXPECT_EQ(listTree(*copy), (QStringList{"Data", "Data/image.png", "Data/outside", "Index.zip"}));
    EXPECT_TRUE(QFileInfo(*copy + "/Data/outside").isSymLink());

    makeLink(path("secret.txt"), path("alias.key"));
    const auto aliasCopy = ProjectDocumentStore::copyDocument(path("alias.key"), root());
    ASSERT_TRUE(aliasCopy);
    EXPECT_TRUE(aliasCopy->endsWith("/alias.key"));
    EXPECT_FALSE(QFileInfo(*aliasCopy).isSymLink());
    EXPECT_EQ(readFile(*aliasCopy), "secret");
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
    writeFile(path("a.key"), "a");
    const auto copy = ProjectDocumentStore::copyDocument(path("a.key"));
    if (previous.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", previous);
    ASSERT_TRUE(copy);
    EXPECT_TRUE(copy->startsWith(path("data/com.local.quorvia.mvp/ProjectDocuments/")));
}
