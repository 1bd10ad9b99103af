#include "app/ScriptFileReader.h"
#include "model/ProjectBackupPackage.h"
#include "model/ScriptText.h"
#include "support/QtPrinting.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

using quorvia::ScriptFileReader;
using quorvia::PresentationProjectsBackup;
using quorvia::ProjectBackupPackage;
namespace ScriptText = quorvia::ScriptText;

namespace {

QString write(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

TEST(ScriptFileReaderTest, ReadsStrictUtf8FromRegularFilesOnly)
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

TEST(ScriptFileReaderTest, RefusesFilesAboveSixteenMebibytes)
{
    QTemporaryDir dir;
    // As many blocks as a script may hold, filling the file to the byte.
    QByteArray full;
    for (int i = 0; i < 1999; ++i)
        full += QByteArray(8383, 'a') + "\n---\n";
    full += QByteArray(ScriptFileReader::maximumBytes - full.size(), 'a');
    const QString atLimit = write(dir, "limit.txt", full);
    EXPECT_EQ(ScriptFileReader::read(atLimit)->size(), ScriptFileReader::maximumBytes);
    const QString above = write(dir, "above.txt", QByteArray(ScriptFileReader::maximumBytes + 1, 'a'));
    EXPECT_EQ(ScriptFileReader::read(above).error(), QStringLiteral("文件超过 16 MB，无法作为稿件上传。"));
}

TEST(ScriptFileReaderTest, APipeSwappedInAfterAnyCheckNeverBlocksTheReader)
{
    QTemporaryDir dir;
    const QString script = write(dir, "talk.txt", QByteArray("1\n开场"));
    const QString other = dir.filePath("other.txt");
    ASSERT_EQ(::mkfifo(other.toLocal8Bit().constData(), 0600), 0);

    // The picked name flips between the file and a pipe while it is read.
    std::atomic<bool> stop = false;
    std::thread swapper([&] {
        const QByteArray a = script.toLocal8Bit();
        const QByteArray b = other.toLocal8Bit();
        while (!stop)
            ::renameat2(AT_FDCWD, a.constData(), AT_FDCWD, b.constData(), RENAME_EXCHANGE);
    });
    // Whether a read meets the file or the pipe is the scheduler's business;
    // each one either reads the script or refuses, and none waits.
    auto reads = std::async(std::launch::async, [&] {
        for (int i = 0; i < 2000; ++i) {
            const auto result = ScriptFileReader::read(script);
            if (result)
                EXPECT_EQ(*result, QStringLiteral("1\n开场"));
            else
                EXPECT_EQ(result.error(), QStringLiteral("所选项目不是普通文件。"));
        }
    });
    const bool finished = reads.wait_for(std::chrono::seconds(90)) == std::future_status::ready;
    stop = true;
    swapper.join();
    if (!finished) {
        // Release a reader stuck in the pipe so the test can end.
        for (const QString& name : {script, other}) {
            const int fd = ::open(name.toLocal8Bit().constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
        }
    }
    EXPECT_TRUE(finished) << "a read blocked on a pipe";
}

TEST(ScriptFileReaderTest, RefusesScriptsBeyondTheBlockLimits)
{
    QTemporaryDir dir;
    QByteArray atLimit;
    for (int i = 0; i < 2000; ++i)
        atLimit += "块\n---\n";
    // Separators around blank chunks make no blocks, so they do not count.
    atLimit += "\n\n---\n---\n";
    const auto fits = ScriptFileReader::read(write(dir, "fits.txt", atLimit));
    ASSERT_TRUE(fits.has_value()) << fits.error().toStdString();

    const auto tooMany = ScriptFileReader::read(write(dir, "many.txt", atLimit + "再一块"));
    ASSERT_FALSE(tooMany.has_value());
    EXPECT_EQ(tooMany.error(), QStringLiteral("稿件超过 2000 块，无法上传。请把它拆成几个演讲项目。"));

    // What made the attack: megabytes of nothing but separators and one letter.
    QByteArray flood;
    for (int i = 0; i < 400000; ++i)
        flood += "a\n---\n";
    EXPECT_FALSE(ScriptFileReader::read(write(dir, "flood.md", flood)).has_value());

    const QByteArray big(1024 * 1024 + 1, 'x');
    const QString oneBlockTooLarge = QStringLiteral("稿件中有一块超过 1 MB，无法上传。请把它拆成几块。");
    EXPECT_EQ(ScriptFileReader::read(write(dir, "big.txt", big)).error(), oneBlockTooLarge);
    EXPECT_EQ(ScriptFileReader::read(write(dir, "bigmiddle.txt", "1\n开场\n---\n" + big + "\n---\n2\n结束")).error(),
              oneBlockTooLarge);
    // The block's label "2" counts: with it the block holds 1 MB exactly.
    EXPECT_TRUE(ScriptFileReader::read(write(dir, "justfits.txt", "1\n---\n" + big.left(1024 * 1024 - 1))).has_value());
}

// A script is judged as the blocks it becomes, labels included, so a file at a
// limit before parsing cannot become a script that no backup will take.
TEST(ScriptFileReaderTest, WhateverIsTakenCanBeExported)
{
    QTemporaryDir dir;
    const auto exportable = [](const QString& text) {
        PresentationProjectsBackup::Project project;
        project.name = QStringLiteral("稿");
        project.timelineBlocks = ScriptText::parseScript(text).blocks;
        project.rawText = ScriptText::serialize(project.timelineBlocks);
        return !ProjectBackupPackage::scriptProblem(project).has_value();
    };
    // One block of exactly 1 MB of text, which parsing labels "1".
    const QByteArray oneBlock(1024 * 1024, 'x');
    // 2000 blocks just under 16 MB, each given a 19-digit label by numbering on.
    QByteArray numbered = "1000000000000000000\n" + QByteArray(8000, 'y');
    for (int i = 1; i < 2000; ++i)
        numbered += "\n---\n" + QByteArray(8380, 'z');
    ASSERT_LT(numbered.size(), ScriptFileReader::maximumBytes);
    // The reader and a backup agree both ways: what one takes, so does the other.
    const QByteArray underOneBlock(1024 * 1024 - 1, 'x');
    for (const QByteArray& bytes : {oneBlock, numbered, underOneBlock}) {
        const auto read = ScriptFileReader::read(write(dir, "limit.txt", bytes));
        EXPECT_EQ(read.has_value(), exportable(QString::fromUtf8(bytes))) << (read ? "a script was taken that no backup exports"
                                                                                    : "a script was refused that a backup exports");
    }
}

} // namespace
