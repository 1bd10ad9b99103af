#include "BackupFixtures.h"
#include "ModelFixtures.h"

#include "model/BackupLimits.h"
#include "model/ProjectBackupPackage.h"
#include "model/ScriptText.h"
#include "support/QtPrinting.h"

using namespace quorvia;
using namespace quorvia::test;

namespace {

using Project = PresentationProjectsBackup::Project;
constexpr qsizetype MiB = 1024 * 1024;

// A script at every script limit at once: 2000 blocks, fifteen of exactly
// 1 MB (in CJK text, three bytes a character), 16 MB in all. The texts are
// shared, so the script costs little memory to build.
std::vector<PromptTimelineBlock> blocksAtTheLimits()
{
    std::vector<PromptTimelineBlock> blocks;
    const QString wide(MiB / 3, QChar(0x8BB2)); // label "1" and 349525 characters: 1048576 bytes
    for (int i = 0; i < 15; ++i)
        blocks.emplace_back(platform::newUuid(), QStringLiteral("1"), wide);
    const QString small(527, u'b'); // label "2": 528 bytes
    for (int i = 0; i < 1984; ++i)
        blocks.emplace_back(platform::newUuid(), QStringLiteral("2"), small);
    const qsizetype used = 15 * MiB + 1984 * 528;
    blocks.emplace_back(platform::newUuid(), QStringLiteral("Demo"), QString(16 * MiB - used - 4, u'c'));
    return blocks;
}

Project projectWith(const QString& name, std::vector<PromptTimelineBlock> blocks)
{
    Project project = backupProject(name);
    project.timelineBlocks = std::move(blocks);
    project.rawText = ScriptText::serialize(project.timelineBlocks);
    const auto count = project.timelineBlocks.size();
    project.slideMappings = ScriptText::slideMappings(project.timelineBlocks);
    project.slideMappingReviews.assign(count, std::nullopt);
    project.speechProgress.assign(count, 0);
    project.completedSections = {};
    return project;
}

class BackupLimitsTest : public PromptScriptTest {
protected:
    QString path(const QString& relative) const { return dir.filePath(relative); }
    QString package() const { return path(QStringLiteral("exports/全部.quorviabackup")); }
    QString store() const { return path(QStringLiteral("store")); }

    void SetUp() override { QDir().mkpath(path(QStringLiteral("exports"))); }

    // An export that fails leaves nothing behind in the folder it would write to.
    void expectExportRefused(const PresentationProjectsBackup& backup, const QString& text,
                             const BackupLimits& limits = BackupLimits::standard())
    {
        const auto written = ProjectBackupPackage::exportBackup(backup, package(), limits);
        EXPECT_EQ(failureText(written), text);
        EXPECT_TRUE(listTree(path(QStringLiteral("exports"))).isEmpty());
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(BackupLimitsTest, AProjectAtEveryScriptLimitRoundTripsThroughExportImportAndTheModel)
{
    const Project big = projectWith(QStringLiteral("大稿"), blocksAtTheLimits());
    ASSERT_EQ(big.timelineBlocks.size(), 2000u);
    ASSERT_EQ(ScriptText::exceededLimit(big.timelineBlocks, big.rawText), std::nullopt);
    writeFile(path("decks/talk.key"), "deck");
    const Project small = backupProject(QStringLiteral("小稿"), path("decks/talk.key"));

    const auto written = ProjectBackupPackage::exportBackup(backupOf({big, small}), package());
    ASSERT_TRUE(written) << failureText(written).toStdString();
    // Each script is written twice: well past the 16 MB the manifest once allowed.
    EXPECT_GT(QFileInfo(package() + QStringLiteral("/manifest.json")).size(), 32 * MiB);

    const auto imported = ProjectBackupPackage::importBackup(package(), nullptr, store());
    ASSERT_TRUE(imported) << failureText(imported).toStdString();
    EXPECT_TRUE(imported->projects[0].timelineBlocks == big.timelineBlocks);
    EXPECT_TRUE(imported->projects[0].rawText == big.rawText);
    EXPECT_EQ(readFile(imported->projects[1].deck->filePath), "deck");

    makeScript(makeBlocks({{"1", "内容"}}));
    ASSERT_EQ(script->importProjectsBackup(*imported), 2);
    EXPECT_EQ(script->timelineBlocks().size(), 2000u);
    EXPECT_EQ(script->timelineBlocks()[0].text.size(), MiB / 3);
}

TEST_F(BackupLimitsTest, ExportAndImportRefuseAScriptOneStepBeyondEachLimitAndNameIt)
{
    auto overCount = blocksAtTheLimits();
    overCount.back().text.chop(1);
    overCount.emplace_back(platform::newUuid(), QStringLiteral("3"), QString());
    auto overBlock = blocksAtTheLimits();
    overBlock.front().text += u'x';
    overBlock.back().text.chop(1);
    auto overTotal = blocksAtTheLimits();
    overTotal.back().text += u'x';
    struct Case {
        std::vector<PromptTimelineBlock> blocks;
        QString text;
    };
    const Case cases[] = {
        {overCount, QStringLiteral("项目“大稿”的稿件超过 2000 块的上限。")},
        {overBlock, QStringLiteral("项目“大稿”的稿件中有一块超过 1 MB 的上限。")},
        {overTotal, QStringLiteral("项目“大稿”的稿件合计超过 16 MB 的上限。")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        const Project over = projectWith(QStringLiteral("大稿"), c.blocks);
        expectExportRefused(backupOf({backupProject(QStringLiteral("小稿")), over}), c.text);

        // The same project in a package written some other way.
        QDir(package()).removeRecursively();
        writeManifest(package(), backupOf({over}).toJson());
        EXPECT_EQ(failureText(ProjectBackupPackage::importBackup(package(), nullptr, store())), c.text);
        EXPECT_FALSE(QFileInfo::exists(store()));

        makeScript(makeBlocks({{"1", "内容"}}));
        const auto before = namesOf(*script);
        const auto added = script->importProjectsBackup(backupOf({over}));
        ASSERT_FALSE(added);
        EXPECT_EQ(added.error().description(), c.text);
        EXPECT_EQ(namesOf(*script), before);
        QDir(package()).removeRecursively();
    }

    // A stored text far longer than its blocks could make is refused as well.
    Project padded = projectWith(QStringLiteral("大稿"), makeBlocks({{"1", "开场"}}));
    padded.rawText = QString(ScriptText::storedTextAllowance + 1, u' ');
    expectExportRefused(backupOf({padded}), QStringLiteral("项目“大稿”的稿件合计超过 16 MB 的上限。"));
}

TEST_F(BackupLimitsTest, DecksAndTheManifestMeetTheSameLimitsOnBothSides)
{
    // Two folder decks: 10 bytes in 3 items, and 5 bytes in 3 items, the first with a link.
    writeFile(path("decks/a.key/Index.zip"), "0123456789");
    makeLink("Index.zip", path("decks/a.key/link"));
    writeFile(path("decks/b.key/Data/x"), "abcde");
    Project first = backupProject(QStringLiteral("甲"), path("decks/a.key"));
    Project second = backupProject(QStringLiteral("乙"), path("decks/b.key"));
    const PresentationProjectsBackup backup = backupOf({first, second});

    // Measured from a package written without limits worth the name.
    BackupLimits roomy;
    roomy.manifestBytes = 64 * MiB;
    ASSERT_TRUE(ProjectBackupPackage::exportBackup(backup, path("roomy.quorviabackup"), roomy));
    const qint64 manifestSize = QFileInfo(path("roomy.quorviabackup/manifest.json")).size();

    BackupLimits exact = roomy;
    exact.deckItems = 6;
    exact.manifestBytes = manifestSize;
    exact.deckDepth = 1;
    {
        const auto written = ProjectBackupPackage::exportBackup(backup, package(), exact);
        ASSERT_TRUE(written) << failureText(written).toStdString();
        const auto imported = ProjectBackupPackage::importBackup(package(), nullptr, store(), exact);
        ASSERT_TRUE(imported) << failureText(imported).toStdString();
        QDir(package()).removeRecursively();
        QDir(store()).removeRecursively();
    }

    struct Case {
        BackupLimits limits;
        QString text;
    };
    auto less = [&](auto change) {
        BackupLimits limits = exact;
        change(limits);
        return limits;
    };
    const Case cases[] = {
        {less([](BackupLimits& l) { l.deckItems -= 1; }), QStringLiteral("演示文稿合计超过 5 个文件的上限。")},
        {less([](BackupLimits& l) { l.deckDepth -= 1; }), QStringLiteral("演示文稿的文件夹超过 0 层的上限。")},
        {less([](BackupLimits& l) { l.manifestBytes -= 1; }),
         QStringLiteral("备份清单超过 %1 字节的上限。").arg(manifestSize - 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        expectExportRefused(backup, c.text, c.limits);
        EXPECT_EQ(failureText(ProjectBackupPackage::importBackup(path("roomy.quorviabackup"), nullptr, store(), c.limits)), c.text);
        EXPECT_TRUE(listTree(store()).isEmpty());
    }
}

TEST(BackupLimitsText, TheStandardLimitsAreNamedInRoundFigures)
{
    const BackupLimits limits = BackupLimits::standard();
    EXPECT_EQ(limits.manifestText(), QStringLiteral("备份清单超过 256 MB 的上限"));
    EXPECT_EQ(limits.deckItemsText(), QStringLiteral("演示文稿合计超过 100000 个文件的上限"));
}
