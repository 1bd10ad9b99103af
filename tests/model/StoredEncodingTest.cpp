#include "BackupFixtures.h"
#include "ModelFixtures.h"

#include "model/ProjectBackupPackage.h"
#include "model/StoredStateEncoder.h"
#include "platform/linux/settings/SettingsDefaults.h"
#include "support/QtPrinting.h"

#include <QSettings>

#include <random>

#include <unistd.h>

using namespace quorvia;
using quorvia::test::makeBlocks;
using quorvia::test::makeProject;

namespace {

const QChar byteOrderMark(0xFEFF);

QString marked(const char* text) { return byteOrderMark + QString::fromUtf8(text); }

} // namespace

// Records change only while their project is active; whatever the sequence of
// changes, switches, additions and removals, the kept encodings give the bytes
// a whole encoding gives.
TEST(StoredStateEncoder, GivesTheBytesOfAWholeEncoding)
{
    std::mt19937 random(7);
    std::vector<StoredProject> projects;
    for (int i = 0; i < 4; ++i)
        projects.push_back(makeProject(QString::fromUtf8("项目%1").arg(i), makeBlocks({{"1", "开场"}, {"Demo", "演示"}})));
    // Two records that share an id, as damaged data may hold.
    projects.push_back(projects[1]);
    projects.back().name = QStringLiteral("copy");
    QUuid active = projects[0].id;

    StoredStateEncoder encoder;
    for (int step = 0; step < 300; ++step) {
        const auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
        auto activeRecord = std::find_if(projects.begin(), projects.end(), [&](const StoredProject& p) { return p.id == active; });
        switch (random() % 6) {
        case 0: // a switch
            active = projects[pick(projects.size())].id;
            break;
        case 1: // a change of the active record
        case 2:
            if (activeRecord != projects.end()) {
                activeRecord->currentIndex = step;
                activeRecord->name += u'x';
                activeRecord->rawText = marked("第") + QString::number(step);
            }
            break;
        case 3: // a new project, made active at once or not
            projects.push_back(makeProject(QString::number(step), makeBlocks({{"2", "新"}})));
            if (random() % 2)
                active = projects.back().id;
            break;
        case 4:
            if (projects.size() > 1)
                projects.erase(projects.begin() + static_cast<std::ptrdiff_t>(pick(projects.size())));
            break;
        case 5: // an id no record has
            if (random() % 4 == 0)
                active = QUuid::createUuid();
            break;
        }
        StoredState whole;
        whole.activeProjectID = active;
        whole.projects = projects;
        ASSERT_EQ(encoder.encode(active, projects), whole.toJson()) << "step " << step;
    }
}

TEST(StoredEncoding, LeadingByteOrderMarksSurviveSaveAndLoad)
{
    test::TestPlatform env;
    StoredProject project = makeProject(marked("名称"), {});
    project.timelineBlocks = std::vector{PromptTimelineBlock(QUuid::createUuid(), marked("Demo"), marked("正文"))};
    project.rawText = ScriptText::serialize(*project.timelineBlocks);
    KeynotePresenterNotesBackup notes;
    notes.documentName = marked("演示.key");
    notes.slideCount = 1;
    notes.notesBySlide = {{1, marked("备注")}};
    project.keynoteNotesBackup = notes;
    StoredProject inactive = project;
    inactive.id = QUuid::createUuid();
    test::storeProjects(env.defaults(), {project, inactive});

    const StoredState written = test::readStoredState(env.defaults());
    {
        PromptScript script(env.defaults());
        script.createProject(marked("新"));
    }
    const PromptScript reopened(env.defaults());
    const StoredState stored = test::readStoredState(env.defaults());
    ASSERT_EQ(stored.projects.size(), 3u);
    EXPECT_EQ(stored.projects[0].timelineBlocks, project.timelineBlocks);
    EXPECT_EQ(stored.projects[0].keynoteNotesBackup, notes);
    EXPECT_EQ(stored.projects[0].name, project.name);
    // The record of a project that was never active stays exactly as it was.
    EXPECT_EQ(stored.projects[1], written.projects[1]);
    EXPECT_EQ(stored.projects[1], inactive);
    EXPECT_EQ(stored.projects[2].name, marked("新"));
    EXPECT_EQ(reopened.activeProjectName(), marked("新"));
}

TEST(StoredEncoding, LeadingByteOrderMarksSurviveExportAndImport)
{
    QTemporaryDir dir;
    PresentationProjectsBackup::Project project = test::backupProject(marked("名称"));
    project.timelineBlocks = {PromptTimelineBlock(platform::newUuid(), marked("Demo"), marked("正文"))};
    project.rawText = marked("Demo\n") + marked("正文");
    const PresentationProjectsBackup backup = test::backupOf({project});
    const QString package = dir.filePath(QStringLiteral("a.quorviabackup"));
    ASSERT_TRUE(ProjectBackupPackage::exportBackup(backup, package));
    const auto imported = ProjectBackupPackage::importBackup(package, nullptr, dir.filePath(QStringLiteral("store")));
    ASSERT_TRUE(imported) << test::failureText(imported).toStdString();
    ASSERT_EQ(imported->projects.size(), 1u);
    EXPECT_EQ(imported->projects[0].name, project.name);
    EXPECT_EQ(imported->projects[0].rawText, project.rawText);
    EXPECT_EQ(imported->projects[0].timelineBlocks, project.timelineBlocks);
}

TEST(StoredEncoding, AnOversizedManifestMakesTheImportFailBeforeReadingIt)
{
    QTemporaryDir dir;
    const QString package = dir.filePath(QStringLiteral("a.quorviabackup"));
    ASSERT_TRUE(ProjectBackupPackage::exportBackup(test::backupOf({test::backupProject(QStringLiteral("A"))}), package));
    const QString store = dir.filePath(QStringLiteral("store"));
    BackupLimits limits;
    limits.manifestBytes = 64 * 1024;

    // Still valid JSON when padded with spaces up to the limit.
    QFile manifest(package + QStringLiteral("/manifest.json"));
    const qint64 size = manifest.size();
    ASSERT_TRUE(manifest.open(QIODevice::Append));
    manifest.write(QByteArray(limits.manifestBytes - size, ' '));
    manifest.close();
    EXPECT_TRUE(ProjectBackupPackage::importBackup(package, nullptr, store, limits));

    ASSERT_TRUE(manifest.open(QIODevice::Append));
    manifest.write(" ");
    manifest.close();
    const auto refused = ProjectBackupPackage::importBackup(package, nullptr, dir.filePath(QStringLiteral("other")), limits);
    EXPECT_EQ(test::failureText(refused), QStringLiteral("备份清单超过 65536 字节的上限。"));
    EXPECT_FALSE(QDir(dir.filePath(QStringLiteral("other"))).exists());

    // A manifest that claims more than the standard limit is never read.
    ASSERT_EQ(::truncate(QFile::encodeName(manifest.fileName()).constData(), BackupLimits::standard().manifestBytes + 1), 0);
    EXPECT_EQ(test::failureText(ProjectBackupPackage::importBackup(package, nullptr, store)),
              QStringLiteral("备份清单超过 256 MB 的上限。"));
}

TEST(StoredEncoding, ProjectsInTheEarlierSettingsFileReadTheSame)
{
    QTemporaryDir dir;
    const QString legacyPath = dir.filePath(QStringLiteral("defaults.ini"));
    const StoredProject first = makeProject(QString::fromUtf8("发布会, 第一场"), makeBlocks({{"1", "大家好"}, {"Demo", "演示 = 开始"}}));
    const StoredProject second = makeProject(QStringLiteral("B"), makeBlocks({{"1", "[section]\nkey=value"}}));
    StoredState state;
    state.activeProjectID = second.id;
    state.projects = {first, second};
    {
        // As the earlier version stored them.
        QSettings legacy(legacyPath, QSettings::IniFormat);
        legacy.setValue(PromptScript::projectsKey, state.toJson());
        legacy.setValue(PromptScript::legacyScriptKey, second.rawText);
    }
    const auto expectSameProjects = [&](const StoredState& stored) {
        ASSERT_EQ(stored.projects.size(), 2u);
        EXPECT_EQ(stored.activeProjectID, second.id);
        for (std::size_t i = 0; i < 2; ++i) {
            EXPECT_EQ(stored.projects[i].id, state.projects[i].id);
            EXPECT_EQ(stored.projects[i].name, state.projects[i].name);
            EXPECT_EQ(stored.projects[i].timelineBlocks, state.projects[i].timelineBlocks);
        }
    };
    {
        platform::native::SettingsDefaults store(dir.filePath(QStringLiteral("defaults")), legacyPath);
        const PromptScript script(store);
        EXPECT_EQ(test::namesOf(script), QStringList({first.name, second.name}));
        EXPECT_EQ(script.rawText(), second.rawText);
        expectSameProjects(StoredState::fromJson(store.data(PromptScript::projectsKey).value_or(QByteArray())).value_or(StoredState{}));
    }
    const platform::native::SettingsDefaults moved(dir.filePath(QStringLiteral("defaults")), QString());
    expectSameProjects(StoredState::fromJson(moved.data(PromptScript::projectsKey).value_or(QByteArray())).value_or(StoredState{}));
}
