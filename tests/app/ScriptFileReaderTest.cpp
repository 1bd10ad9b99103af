#include "app/ScriptFileReader.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using quorvia::ScriptFileReader;

namespace {

QString write(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

TEST(ScriptFileReaderTest, readsStrictUtf8FromRegularFilesOnly)
{
    QTemporaryDir dir;
    EXPECT_EQ(ScriptFileReader::read(write(dir, "a.md", QStringLiteral("1\n开场\n---\nA\n演示").toUtf8())),
              QStringLiteral("1\n开场\n---\nA\n演示"));
    EXPECT_EQ(ScriptFileReader::read(write(dir, "empty.txt", {})), QString());

    const auto latin1 = ScriptFileReader::read(write(dir, "latin1.txt", QByteArray("caf\xe9 cr\xe8me")));
    EXPECT_EQ(latin1.error(), QStringLiteral("文件不是有效的 UTF-8 文本。"));
    const auto cutOff = ScriptFileReader::read(write(dir, "cut.txt", QByteArray("caf\xc3")));
    EXPECT_EQ(cutOff.error(), QStringLiteral("文件不是有效的 UTF-8 文本。"));

    const QString fifo = dir.filePath("pipe.txt");
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    EXPECT_EQ(ScriptFileReader::read(fifo).error(), QStringLiteral("所选项目不是普通文件。"));
    EXPECT_EQ(ScriptFileReader::read(QStringLiteral("/dev/zero")).error(), QStringLiteral("所选项目不是普通文件。"));
    EXPECT_EQ(ScriptFileReader::read(dir.path()).error(), QStringLiteral("所选项目不是普通文件。"));
    EXPECT_EQ(ScriptFileReader::read(dir.filePath("missing.txt")).error(), QStringLiteral("找不到所选文件。"));
}

TEST(ScriptFileReaderTest, refusesFilesAboveSixteenMebibytes)
{
    QTemporaryDir dir;
    const QString atLimit = write(dir, "limit.txt", QByteArray(ScriptFileReader::maximumBytes, 'a'));
    EXPECT_EQ(ScriptFileReader::read(atLimit)->size(), ScriptFileReader::maximumBytes);
    const QString above = write(dir, "above.txt", QByteArray(ScriptFileReader::maximumBytes + 1, 'a'));
    EXPECT_EQ(ScriptFileReader::read(above).error(), QStringLiteral("文件超过 16 MB，无法作为稿件上传。"));
}

} // namespace
