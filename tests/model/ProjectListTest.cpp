#include "BackupFixtures.h"
#include "ModelFixtures.h"
#include "support/QtPrinting.h"

using namespace quorvia;
using quorvia::test::makeBlocks;
using quorvia::test::makeProject;

namespace {

using ProjectList = test::PromptScriptTest;

const QStringList switchNotifications{"PresentationProjectsChanged", "PromptScriptChanged:system", "PresentationDeckChanged"};

} // namespace

TEST_F(ProjectList, CreateNormalisesTheName)
{
    PromptScript& s = makeScript(makeBlocks({{"1", "a"}}));
    const QUuid blank = s.createProject("  \n ");
    EXPECT_EQ(s.activeProjectID(), blank);
    EXPECT_EQ(log->entries, switchNotifications);

    s.createProject("  Talk  ");
    s.createProject("Talk");
    s.createProject(QString(80, u'n'));
    EXPECT_EQ(test::namesOf(s), (QStringList{"Talk", QStringLiteral("未命名演讲"), "Talk", "Talk", QString(60, u'n')}));
    EXPECT_EQ(test::storedProject(storedState(), blank)->timelineBlocks, std::vector<PromptTimelineBlock>{});
}

TEST_F(ProjectList, SwitchingKeepsEachProjectsStateButNotSpeech)
{
    StoredProject a = makeProject("A", makeBlocks({{"1", "abc"}, {"2", "def"}}));
    StoredProject b = makeProject("B", makeBlocks({{"1", "x"}}));
    PromptScript& s = makeScript({a, b});
    s.moveNext();
    s.setSpeechProgress(2, 1, true);
    s.setReadingCharacterIndex(1);
    log->entries.clear();

    // The new project is already stored when the first notification arrives.
    QUuid storedActive;
    auto observation = platform::NotificationCenter::defaultCenter().observe(
        NotificationName::presentationProjectsChanged, &s, [&](const platform::Notification&) { storedActive = storedState().activeProjectID; });
    s.selectProject(b.id);
    EXPECT_EQ(storedActive, b.id);
    EXPECT_EQ(log->entries, switchNotifications);
    EXPECT_EQ(s.sections(), QStringList{"x"});
    EXPECT_EQ(test::storedProject(storedState(), a.id)->speechProgress, (std::vector<qint64>{0, 0}));

    s.selectProject(a.id);
    EXPECT_EQ(s.currentIndex(), 1);
    EXPECT_EQ(s.readingCharacterIndex(), 1);
    EXPECT_EQ(s.completedSections(), std::set<qint64>{0});

    log->entries.clear();
    s.selectProject(a.id);
    s.selectProject(QUuid::createUuid());
    EXPECT_TRUE(log->entries.isEmpty());
}

TEST_F(ProjectList, RenameWritesOnlyTheName)
{
    PromptScript& s = makeScript(makeBlocks({{"1", "a"}}));
    s.setSpeechProgress(1, 0, false);
    s.renameActiveProject(QStringLiteral("  Keynote  "));
    EXPECT_EQ(log->entries.last(), "PresentationProjectsChanged");
    // No snapshot: the partial speech progress is not stored by a rename.
    EXPECT_EQ(stored().speechProgress, std::vector<qint64>{0});
    EXPECT_EQ(stored().name, "Keynote");

    const int posted = log->entries.size();
    s.renameActiveProject(" Keynote ");
    EXPECT_EQ(log->entries.size(), posted);
    s.renameActiveProject("keynote");
    EXPECT_EQ(s.activeProjectName(), "keynote");
}

TEST_F(ProjectList, DuplicateNamesAreUnique)
{
    PromptScript& s = makeScript(std::vector<StoredProject>{makeProject("Talk", makeBlocks({{"1", "a"}}))});
    const QUuid original = s.activeProjectID();
    s.duplicateActiveProject();
    EXPECT_EQ(s.activeProjectName(), QStringLiteral("Talk 副本"));
    s.selectProject(original);
    s.duplicateActiveProject();
    EXPECT_EQ(s.activeProjectName(), QStringLiteral("Talk 副本 2"));

    // Taken names compare without case and diacritics.
    const QUuid cafe = s.createProject(QStringLiteral("Café"));
    s.createProject(QStringLiteral("CAFE 副本"));
    s.selectProject(cafe);
    s.duplicateActiveProject();
    EXPECT_EQ(s.activeProjectName(), QStringLiteral("Café 副本 2"));

    s.renameActiveProject(QString(60, u'x'));
    const QUuid longName = s.activeProjectID();
    s.duplicateActiveProject();
    EXPECT_EQ(s.activeProjectName(), QString(57, u'x') + QStringLiteral(" 副本"));
    s.selectProject(longName);
    s.duplicateActiveProject();
    EXPECT_EQ(s.activeProjectName(), QString(55, u'x') + QStringLiteral(" 副本 2"));
}

TEST_F(ProjectList, DuplicateCopiesTheProjectAndFollowsACopiedDeck)
{
    QTemporaryDir dir;
    const QString copyPath = dir.filePath("Copy.key");
    test::writeFile(copyPath, "abc");

    PromptScript& s = makeScript(makeBlocks({{"1", "a"}, {"2", "b"}}));
    const PresentationDeck deck{"/d/Talk.key", "Talk.key", 10, 1.5, {{1, ""}, {2, ""}}};
    s.replaceDeck(deck);
    s.mergeKeynoteNotesBackup({"Talk.key", QString("/d/Talk.key"), 2, {{1, "note"}}});
    s.moveNext();
    s.setSpeechProgress(1, 1, false);
    const auto blocks = s.timelineBlocks();
    log->entries.clear();

    const auto copyID = s.duplicateActiveProject(copyPath);
    ASSERT_TRUE(copyID.has_value());
    EXPECT_EQ(s.activeProjectID(), *copyID);
    EXPECT_EQ(log->entries, switchNotifications);
    EXPECT_EQ(s.timelineBlocks(), blocks);
    EXPECT_EQ(s.currentIndex(), 1);
    EXPECT_EQ(s.completedSections(), std::set<qint64>{0});
    EXPECT_EQ(s.spokenCharacterOffset(1), 0);
    EXPECT_EQ(s.deck(), (PresentationDeck{copyPath, "Copy.key", 3, s.deck()->modificationTime, deck.slides}));
    EXPECT_EQ(s.keynoteNotesBackup(), (KeynotePresenterNotesBackup{"Copy.key", copyPath, 2, {{1, "note"}}}));

    // Without a copy both projects name the same file.
    s.duplicateActiveProject();
    EXPECT_EQ(s.deck()->filePath, copyPath);
}

TEST_F(ProjectList, DeleteActivatesTheNeighbour)
{
    StoredProject a = makeProject("A", makeBlocks({{"1", "a"}}));
    StoredProject b = makeProject("B", makeBlocks({{"1", "b"}}));
    StoredProject c = makeProject("C", makeBlocks({{"1", "c"}}));
    PromptScript& s = makeScript({a, b, c});
    EXPECT_TRUE(s.deleteActiveProject());
    EXPECT_EQ(s.activeProjectID(), b.id);
    EXPECT_EQ(log->entries, switchNotifications);
    s.selectProject(c.id);
    EXPECT_TRUE(s.deleteActiveProject());
    EXPECT_EQ(s.activeProjectID(), b.id);
    EXPECT_FALSE(s.canDeleteActiveProject());
    log->entries.clear();
    EXPECT_FALSE(s.deleteActiveProject());
    EXPECT_TRUE(log->entries.isEmpty());
}

TEST_F(ProjectList, SummariesCountMigratedBlocksOfOldRecords)
{
    StoredProject old;
    old.id = QUuid::createUuid();
    old.name = "Old";
    old.rawText = "One\n\nTwo\n\nThree";
    StoredProject current = makeProject("Now", makeBlocks({{"1", "a"}}));
    PromptScript& s = makeScript({current, old});
    EXPECT_EQ(s.projectSummaries(),
              (std::vector<PresentationProjectSummary>{{current.id, "Now", 1}, {old.id, "Old", 3}}));
}
