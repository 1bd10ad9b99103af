#include "ModelFixtures.h"
#include "support/QtPrinting.h"

using namespace quorvia;
using quorvia::test::makeBlocks;

namespace {

using NotesBackup = test::PromptScriptTest;

KeynotePresenterNotesBackup notes(const QString& name, std::optional<QString> path, qint64 slides, std::map<qint64, QString> bySlide)
{
    return KeynotePresenterNotesBackup{name, std::move(path), slides, std::move(bySlide)};
}

const QString notesChanged = QStringLiteral("KeynoteNotesBackupChanged");

} // namespace

TEST_F(NotesBackup, MergeAddsOnlyMissingSlides)
{
    PromptScript& s = makeScript(makeBlocks({{"1", "a"}}));
    EXPECT_TRUE(s.mergeKeynoteNotesBackup(notes("Talk.key", QString("/A/Talk.key"), 3, {{1, "one"}, {2, "two"}})));
    EXPECT_TRUE(s.mergeKeynoteNotesBackup(notes("Other name", QString("/A/./Talk.key"), 3, {{1, "NEW"}, {2, "NEW"}, {3, "three"}})));
    const KeynotePresenterNotesBackup expected = notes("Talk.key", QString("/A/Talk.key"), 3, {{1, "one"}, {2, "two"}, {3, "three"}});
    EXPECT_EQ(s.keynoteNotesBackup(), expected);
    EXPECT_EQ(stored().keynoteNotesBackup, expected);

    // Merging the same record again still saves and posts.
    EXPECT_TRUE(s.mergeKeynoteNotesBackup(expected));
    EXPECT_EQ(log->entries, (QStringList{notesChanged, notesChanged, notesChanged}));
}

TEST_F(NotesBackup, BackupOfAnotherDocumentRefusesTheMerge)
{
    PromptScript& s = makeScript(makeBlocks({{"1", "a"}}));
    const auto stored = notes("Talk.key", QString("/A/Talk.key"), 3, {{1, "one"}});
    s.mergeKeynoteNotesBackup(stored);
    log->entries.clear();
    const int writes = env.defaults().writeCount();
    EXPECT_FALSE(s.mergeKeynoteNotesBackup(notes("Talk.key", QString("/B/Talk.key"), 3, {{2, "x"}})));
    EXPECT_EQ(s.keynoteNotesBackup(), stored);
    EXPECT_TRUE(log->entries.isEmpty());
    EXPECT_EQ(env.defaults().writeCount(), writes);
}

TEST_F(NotesBackup, ClearAndEachProjectsOwnBackup)
{
    PromptScript& s = makeScript(makeBlocks({{"1", "a"}}));
    s.clearKeynoteNotesBackup();
    EXPECT_TRUE(log->entries.isEmpty());

    const QUuid first = s.activeProjectID();
    s.mergeKeynoteNotesBackup(notes("Talk.key", std::nullopt, 2, {{1, "one"}}));
    s.createProject("Second");
    EXPECT_FALSE(s.keynoteNotesBackup().has_value());
    s.mergeKeynoteNotesBackup(notes("Other.key", std::nullopt, 5, {}));
    s.clearKeynoteNotesBackup();
    EXPECT_FALSE(storedState().projects[1].keynoteNotesBackup.has_value());
    s.selectProject(first);
    EXPECT_EQ(s.keynoteNotesBackup()->documentName, "Talk.key");
    EXPECT_EQ(log->entries.filter(notesChanged).size(), 3);
}
