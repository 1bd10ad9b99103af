#include "ModelFixtures.h"

using namespace quorvia;
using quorvia::test::makeBlocks;

namespace {

using NotesBackup = test::PromptScriptTest;

KeynotePresenterNotesBackup notes(const QString& name, std::optional<QString> path, qint64 slides, std::map<qint64, QString> bySlide)
{
    return KeynotePresenterNotesBackup{name, std::move(path), slides, std::move(bySlide)};
}

} // namespace

TEST_F(NotesBackup, MergeAddsOnlyMissingSlides)
{
    PromptScript& s = makeScript(makeBlocks({{"1", "a"}}));
    const auto stored = notes("Talk.key", QString("/A/Talk.key"), 3, {{1, "one"}, {2, "two"}});
    EXPECT_TRUE(s.mergeKeynoteNotesBackup(stored));
    EXPECT_TRUE(s.mergeKeynoteNotesBackup(notes("Other name", QString("/A/./Talk.key"), 3, {{1, "NEW"}, {2, "NEW"}, {3, "three"}})));
    const std::map<qint64, QString> expected{{1, "one"}, {2, "two"}, {3, "three"}};
    EXPECT_EQ(s.keynoteNotesBackup()->notesBySlide, expected);
    EXPECT_EQ(s.keynoteNotesBackup()->documentName, "Talk.key");
    EXPECT_EQ(this->stored().keynoteNotesBackup->notesBySlide, expected);

    // Merging the same record again still saves and posts.
    EXPECT_TRUE(s.mergeKeynoteNotesBackup(*s.keynoteNotesBackup()));
    EXPECT_EQ(log->entries, (QStringList{"KeynoteNotesBackupChanged", "KeynoteNotesBackupChanged", "KeynoteNotesBackupChanged"}));
}

TEST_F(NotesBackup, BackupOfAnotherDocumentRefusesTheMerge)
{
    PromptScript& s = makeScript(makeBlocks({{"1", "a"}}));
    const auto stored = notes("Talk.key", QString("/A/Talk.key"), 3, {{1, "one"}});
    s.mergeKeynoteNotesBackup(stored);
    log->entries.clear();
    const int writes = env.defaults().writeCount();
    EXPECT_FALSE(s.mergeKeynoteNotesBackup(notes("Talk.key", QString("/B/Talk.key"), 3, {{2, "x"}})));
    EXPECT_FALSE(s.mergeKeynoteNotesBackup(notes("Talk.key", QString("/A/Talk.key"), 4, {{2, "x"}})));
    EXPECT_EQ(s.keynoteNotesBackup(), stored);
    EXPECT_TRUE(log->entries.isEmpty());
    EXPECT_EQ(env.defaults().writeCount(), writes);
}

TEST_F(NotesBackup, NameMatchWithoutAStoredPath)
{
    PromptScript& s = makeScript(makeBlocks({{"1", "a"}}));
    s.mergeKeynoteNotesBackup(notes("Talk.key", std::nullopt, 2, {{1, "one"}}));
    EXPECT_TRUE(s.mergeKeynoteNotesBackup(notes("talk.KEY", QString("/B/talk.KEY"), 2, {{2, "two"}})));
    EXPECT_EQ(s.keynoteNotesBackup()->notesBySlide.size(), 2u);
    EXPECT_FALSE(s.keynoteNotesBackup()->documentPath.has_value());
}

TEST_F(NotesBackup, ClearPostsOnlyWhenThereWasOne)
{
    PromptScript& s = makeScript(makeBlocks({{"1", "a"}}));
    s.clearKeynoteNotesBackup();
    EXPECT_TRUE(log->entries.isEmpty());
    s.mergeKeynoteNotesBackup(notes("Talk.key", std::nullopt, 2, {}));
    s.clearKeynoteNotesBackup();
    EXPECT_FALSE(s.keynoteNotesBackup().has_value());
    EXPECT_FALSE(stored().keynoteNotesBackup.has_value());
    EXPECT_EQ(log->entries, (QStringList{"KeynoteNotesBackupChanged", "KeynoteNotesBackupChanged"}));
}

TEST_F(NotesBackup, BackupBelongsToItsProject)
{
    PromptScript& s = makeScript(makeBlocks({{"1", "a"}}));
    const QUuid first = s.activeProjectID();
    s.mergeKeynoteNotesBackup(notes("Talk.key", std::nullopt, 2, {{1, "one"}}));
    s.createProject("Second");
    EXPECT_FALSE(s.keynoteNotesBackup().has_value());
    EXPECT_TRUE(s.mergeKeynoteNotesBackup(notes("Other.key", std::nullopt, 5, {})));
    s.selectProject(first);
    EXPECT_EQ(s.keynoteNotesBackup()->documentName, "Talk.key");
}
