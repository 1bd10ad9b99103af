#include "ModelFixtures.h"
#include "platform/linux/settings/SettingsDefaults.h"
#include "support/QtPrinting.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <functional>
#include <map>

using namespace quorvia;
using quorvia::test::makeBlocks;
using quorvia::test::makeProject;

namespace {

class PromptScriptState : public ::testing::Test {
protected:
    // Starts a model over these stored projects (or over what the store holds).
    PromptScript& start(std::vector<StoredProject> projects = {}, std::optional<QUuid> active = std::nullopt)
    {
        if (!projects.empty())
            test::storeProjects(defaults, projects, active);
        return script.emplace(defaults);
    }

    StoredProject threeBlocks() const { return makeProject("A", makeBlocks({{"1", "a"}, {"Intro", "b"}, {"3", "c"}})); }

    test::TestPlatform env;
    test::MemoryDefaults& defaults = env.defaults();
    std::optional<PromptScript> script;
};

using Reviews = std::vector<std::optional<SlideMappingReview>>;

} // namespace

TEST_F(PromptScriptState, EmptyStoreGivesTheDefaultProjectSilently)
{
    test::ModelNotificationLog log;
    PromptScript& s = start();
    EXPECT_TRUE(log.entries.isEmpty());
    EXPECT_EQ(s.activeProjectName(), QStringLiteral("默认演讲"));
    EXPECT_EQ(s.promptMode(), PromptMode::fixedScroll);
    EXPECT_FALSE(s.hasContent());
    EXPECT_EQ(defaults.string(PromptScript::legacyScriptKey), QString(""));
    const StoredState stored = test::readStoredState(defaults);
    ASSERT_EQ(stored.projects.size(), 1u);
    EXPECT_EQ(stored.activeProjectID, s.activeProjectID());
    EXPECT_EQ(stored.projects[0].timelineBlocks, std::vector<PromptTimelineBlock>{});
}

TEST_F(PromptScriptState, LegacyTextIsMigratedWhenNoProjectIsStored)
{
    const QByteArray emptyList = R"({"activeProjectID":"11111111-2222-3333-4444-555555555555","projects":[]})";
    for (const auto& [projects, legacy, labels] :
         {std::tuple<QByteArray, QString, QStringList>{{}, "2\nHello\n---\nDemo\nShow", {"2", "Demo"}},
          {{}, "One\n\nTwo\n\nThree", {"1", "2", "3"}},
          {emptyList, "Legacy", {"1"}}}) {
        test::TestPlatform local;
        if (!projects.isEmpty())
            local.defaults().setData(PromptScript::projectsKey, projects);
        local.defaults().setString(PromptScript::legacyScriptKey, legacy);
        PromptScript s(local.defaults());
        EXPECT_EQ(test::labelsOf(s.timelineBlocks()), labels) << legacy.toStdString();
    }
}

TEST_F(PromptScriptState, UnreadableProjectsAreKeptAsideNotLost)
{
    // One record lacks "currentIndex", so the whole state is unreadable.
    const QByteArray unreadable =
        R"({"activeProjectID":"11111111-2222-3333-4444-555555555555","projects":[{"id":"11111111-2222-3333-4444-555555555555","name":"A","rawText":"x"}]})";
    defaults.setData(PromptScript::projectsKey, unreadable);
    defaults.setString(PromptScript::legacyScriptKey, "Legacy");
    EXPECT_EQ(start().activeProjectName(), QStringLiteral("默认演讲"));
    EXPECT_EQ(script->sections(), QStringList{"Legacy"});
    EXPECT_EQ(defaults.data(PromptScript::unreadableProjectsKey), unreadable);

    // A later unreadable value goes beside the first copy, never over it; the same bytes are kept once.
    for (int run = 0; run < 2; ++run) {
        defaults.setData(PromptScript::projectsKey, "not json");
        start();
    }
    EXPECT_EQ(defaults.data(PromptScript::unreadableProjectsKey), unreadable);
    EXPECT_EQ(defaults.data(PromptScript::unreadableProjectsKey + ".2"), QByteArray("not json"));
    EXPECT_FALSE(defaults.contains(PromptScript::unreadableProjectsKey + ".3"));

    // A state that decodes but holds no project (a second, empty list after the real one) is
    // replaced too, so it is kept as well; a side key holding anything else is passed over.
    const QByteArray emptied = unreadable.chopped(1).replace(R"("name":"A","rawText":"x")", R"("name":"A","rawText":"x","currentIndex":0)")
        + R"(,"projects":[]})";
    defaults.setInteger(PromptScript::unreadableProjectsKey + ".3", 7);
    defaults.setData(PromptScript::projectsKey, emptied);
    EXPECT_EQ(start().activeProjectName(), QStringLiteral("默认演讲"));
    EXPECT_EQ(defaults.integer(PromptScript::unreadableProjectsKey + ".3"), 7);
    EXPECT_EQ(defaults.data(PromptScript::unreadableProjectsKey + ".4"), emptied);
}

TEST_F(PromptScriptState, UnknownActiveIdFallsBackToTheFirstProject)
{
    StoredProject a = makeProject("A", makeBlocks({{"1", "a"}}));
    EXPECT_EQ(start({a, makeProject("B", {})}, QUuid::createUuid()).activeProjectID(), a.id);
    EXPECT_EQ(test::readStoredState(defaults).activeProjectID, a.id);
}

TEST_F(PromptScriptState, CurrentIndexIsClamped)
{
    for (auto [blocks, stored, expected] : {std::tuple<bool, qint64, qint64>{true, 99, 2}, {true, -4, 0}, {false, 5, 0}}) {
        StoredProject p = blocks ? threeBlocks() : makeProject("A", {});
        p.currentIndex = stored;
        EXPECT_EQ(start({p}).currentIndex(), expected);
        EXPECT_EQ(test::readStoredState(defaults).projects[0].currentIndex, expected);
    }
}

TEST_F(PromptScriptState, MappingsAndReviewsFollowTheLabels)
{
    StoredProject p = threeBlocks();
    p.slideMappings = std::vector<std::optional<qint64>>{7, 8};
    EXPECT_EQ(start({p}).slideMappings(), (std::vector<std::optional<qint64>>{1, std::nullopt, 3}));
    p.deck = PresentationDeck{"/t.key", "t.key", 1, 1, {{1, ""}, {2, ""}}};
    EXPECT_EQ(start({p}).slideMappings(), (std::vector<std::optional<qint64>>{1, std::nullopt, std::nullopt}));
    p.deck.reset();

    // Reviews of another length are dropped; of the right length they stay and only gaps of slide blocks fill.
    const SlideMappingReview cloud{3, 0.9, false, SlideMappingReview::Origin::cloudAI};
    const auto manual = SlideMappingReview::manual;
    p.slideMappingReviews = Reviews{cloud, cloud};
    EXPECT_EQ(start({p}).slideMappingReviews(), (Reviews{manual, std::nullopt, manual}));
    p.slideMappingReviews = Reviews{std::nullopt, cloud, std::nullopt};
    EXPECT_EQ(start({p}).slideMappingReviews(), (Reviews{manual, cloud, manual}));

    // A suggestion beyond the deck loses its slide and asks for review; without a deck it stays.
    const SlideMappingReview beyond{5, 0.8, false, SlideMappingReview::Origin::cloudAI};
    p.slideMappingReviews = Reviews{beyond, beyond, beyond};
    p.deck = PresentationDeck{"/t.key", "t.key", 1, 1, {{1, ""}, {2, ""}, {3, ""}}};
    EXPECT_EQ(start({p}).slideMappingReviews()[1], (SlideMappingReview{std::nullopt, 0.8, true, SlideMappingReview::Origin::cloudAI}));
}

TEST_F(PromptScriptState, ProgressIsNormalisedAndWrittenBack)
{
    StoredProject p = threeBlocks();
    p.completedSections = std::vector<qint64>{0, 5, -1, 0};
    p.speechProgress = std::vector<qint64>{40, 12};
    p.readingCharacterIndex = 1000;
    PromptScript& s = start({p});
    EXPECT_EQ(s.completedSections(), std::set<qint64>{0});
    EXPECT_EQ(s.speechProgress(), (std::vector<qint64>{0, 0, 0}));
    EXPECT_EQ(s.readingCharacterIndex(), p.rawText.size());
    const StoredProject written = test::readStoredState(defaults).projects[0];
    EXPECT_EQ(written.completedSections, std::vector<qint64>{0});
    EXPECT_EQ(written.speechProgress, (std::vector<qint64>{0, 0, 0}));

    // The bound is the stored text in code units: the emoji counts 2.
    StoredProject old = StoredProject::newRecord("Old", QStringLiteral("讲😀"));
    old.readingCharacterIndex = 9;
    EXPECT_EQ(start({old}).readingCharacterIndex(), 3);
    old.readingCharacterIndex = -2;
    EXPECT_EQ(start({old}).readingCharacterIndex(), 0);
}

TEST_F(PromptScriptState, BlocksWinOverStaleTextAndOldRecordsMigrate)
{
    StoredProject withBlocks = makeProject("A", makeBlocks({{"1", "a"}, {"Demo", "b"}}));
    withBlocks.rawText = "stale";
    StoredProject old;
    old.id = QUuid::createUuid();
    old.name = "Old";
    old.rawText = "P1\n\nP2";
    EXPECT_EQ(start({withBlocks, old}).rawText(), "1\na\n---\nDemo\nb");
    EXPECT_EQ(defaults.string(PromptScript::legacyScriptKey), "1\na\n---\nDemo\nb");
    // An inactive record keeps its old form until it is made active.
    EXPECT_FALSE(test::storedProject(test::readStoredState(defaults), old.id)->timelineBlocks.has_value());

    PromptScript& s = start({withBlocks, old}, old.id);
    EXPECT_EQ(s.rawText(), "P1\n\nP2");
    const StoredState state = test::readStoredState(defaults);
    const StoredProject* written = test::storedProject(state, old.id);
    ASSERT_TRUE(written->timelineBlocks.has_value());
    EXPECT_EQ(written->timelineBlocks->size(), 2u);
    EXPECT_EQ(written->rawText, "P1\n\nP2");
}

TEST_F(PromptScriptState, ObserversFindTheChangeStoredButPartialSpeechIsNotSaved)
{
    PromptScript& s = start({makeProject("A", makeBlocks({{"1", "abcdef"}, {"2", "b"}}))});
    test::ModelNotificationLog log(&s);
    qint64 storedIndexSeen = -1;
    auto observation = platform::NotificationCenter::defaultCenter().observe(
        NotificationName::promptScriptChanged, &s,
        [&](const platform::Notification&) { storedIndexSeen = test::readStoredState(defaults).projects[0].currentIndex; });
    s.moveNext(PresentationEventSource::keynoteManual);
    EXPECT_EQ(storedIndexSeen, 1);
    s.movePrevious();

    const int writes = defaults.writeCount();
    s.setSpeechProgress(3, 0, false);
    EXPECT_EQ(log.entries.last(), "PromptScriptChanged:speech");
    EXPECT_EQ(defaults.writeCount(), writes);
    EXPECT_EQ(s.spokenCharacterOffset(0), 3);

    // The same value as a final result raises nothing, so it neither saves nor posts.
    s.setSpeechProgress(3, 0, true);
    EXPECT_EQ(defaults.writeCount(), writes);
    EXPECT_EQ(log.entries.size(), 3);

    s.setSpeechProgress(4, 0, true);
    EXPECT_EQ(test::readStoredState(defaults).projects[0].speechProgress, (std::vector<qint64>{4, 0}));
    EXPECT_EQ(log.entries.size(), 4);
}

TEST_F(PromptScriptState, AValueOfAnotherKindKeepsItsBytes)
{
    // An earlier settings file read a compact JSON text as a list split at its commas.
    const QByteArray json =
        R"({"activeProjectID":"11111111-2222-3333-4444-555555555555","projects":[{"id":"11111111-2222-3333-4444-555555555555","name":"A","rawText":"x","currentIndex":0}]})";
    defaults.setValue(PromptScript::projectsKey, QString::fromUtf8(json).split(u','));
    EXPECT_EQ(start().activeProjectName(), QStringLiteral("默认演讲"));
    EXPECT_EQ(defaults.data(PromptScript::unreadableProjectsKey), json);

    defaults.setValue(PromptScript::projectsKey, QVariantMap{{QStringLiteral("k"), 1}});
    start();
    const QByteArray kept = defaults.data(PromptScript::unreadableProjectsKey + ".2").value_or(QByteArray());
    EXPECT_FALSE(kept.isEmpty());
    EXPECT_TRUE(kept.contains('k'));
}

// Through the store on disk: a large projects value lives in a file of its own.
TEST(PromptScriptDamagedStore, AProjectsFileThatNoLongerDecodesIsKeptAndNamedOnce)
{
    test::TestPlatform env;
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("defaults"));
    const QString script = QStringLiteral("1\n") + QString(20000, QChar(u'讲'));
    {
        platform::native::SettingsDefaults store(folder, QString());
        PromptScript model(store);
        model.replaceText(script);
        model.createProject(QStringLiteral("第二场"));
    }
    const QStringList files = QDir(folder).entryList({QStringLiteral("value-*.dat")}, QDir::Files);
    ASSERT_FALSE(files.isEmpty());
    QByteArray damaged;
    for (const QString& name : files) {
        QFile file(folder + u'/' + name);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        const QByteArray bytes = file.readAll();
        file.write("!");
        damaged = bytes + "!";
    }
    ASSERT_EQ(files.size(), 1);

    QString asidePath;
    {
        platform::native::SettingsDefaults store(folder, QString());
        const QStringList aside = store.damageFound().setAside;
        ASSERT_EQ(aside.size(), 1);
        asidePath = aside.front();
        PromptScript model(store);
        EXPECT_EQ(test::namesOf(model), QStringList{QStringLiteral("默认演讲")});
        // The model's copy holds the damaged bytes whole.
        EXPECT_EQ(store.data(PromptScript::unreadableProjectsKey), damaged);
    }
    {
        QFile kept(asidePath);
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly)) << asidePath.toStdString();
        EXPECT_EQ(kept.readAll(), damaged);
    }
    // Written over and reopened: the copies are still there and nothing is named again.
    platform::native::SettingsDefaults store(folder, QString());
    EXPECT_TRUE(store.damageFound().setAside.isEmpty());
    EXPECT_EQ(store.data(PromptScript::unreadableProjectsKey), damaged);
    EXPECT_TRUE(QFile::exists(asidePath));
}

// One stray byte in the index, a truncated index or none at all: every project
// comes back, their file outlives the first save, and what the start reports is
// what happened.
TEST(PromptScriptDamagedStore, ADamagedTruncatedOrMissingIndexCostsNoProject)
{
    using platform::native::DefaultsFileStore;
    using Index = platform::DefaultsStoreDamage::Index;
    for (const char* damage : {"stray byte", "truncated", "missing", "missing with its copy"}) {
        SCOPED_TRACE(damage);
        test::TestPlatform env;
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("defaults"));
        QStringList names;
        {
            platform::native::SettingsDefaults store(folder, QString());
            PromptScript model(store);
            for (int i = 0; i < 40; ++i) {
                model.createProject(QStringLiteral("第%1场").arg(i));
                model.replaceText(QStringLiteral("1\n") + QString(4000, QChar(u'讲')));
            }
            names = test::namesOf(model);
        }
        const QString index = folder + u'/' + DefaultsFileStore::indexName;
        QFile file(index);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        const QByteArray intact = file.readAll();
        const QString kind = damage;
        if (kind == QStringLiteral("stray byte")) {
            // Inside the name of the projects' file, where the structure still parses.
            const qsizetype at = intact.lastIndexOf(QByteArray("v\0a\0l\0u\0e\0-", 10)) + 20;
            file.seek(at);
            file.write(intact.mid(at, 1) == "3" ? "4" : "3");
        } else if (kind == QStringLiteral("truncated")) {
            file.resize(intact.size() / 2);
        }
        file.close();
        if (kind.startsWith(QStringLiteral("missing")))
            QFile::remove(index);
        if (kind == QStringLiteral("missing with its copy"))
            QFile::remove(folder + u'/' + DefaultsFileStore::indexCopyName);

        {
            platform::native::SettingsDefaults store(folder, QString());
            const platform::DefaultsStoreDamage found = store.damageFound();
            EXPECT_EQ(found.index, kind == QStringLiteral("missing with its copy") ? Index::lost : Index::restoredFromCopy);
            EXPECT_EQ(found.setAside.size(), kind.startsWith(QStringLiteral("missing")) ? 0 : 1);
            EXPECT_TRUE(found.missing.isEmpty());
            PromptScript model(store);
            EXPECT_EQ(test::namesOf(model), names);
        }
        // The first save is on disk; the projects' file is still there and named.
        platform::native::SettingsDefaults reopened(folder, QString());
        EXPECT_TRUE(reopened.damageFound().isEmpty());
        PromptScript model(reopened);
        EXPECT_EQ(test::namesOf(model), names);
    }
}

namespace {

// A store that, like the one on disk, makes deferred values when it gets to
// them: only the newest per key, and only when asked.
class DeferringDefaults final : public platform::DefaultsStore {
public:
    std::optional<QVariant> value(const QString& key) const override { return memory.value(key); }
    void setValue(const QString& key, const QVariant& value) override
    {
        pending.erase(key);
        memory.setValue(key, value);
    }
    void remove(const QString& key) override
    {
        pending.erase(key);
        memory.remove(key);
    }
    QStringList keys() const override { return memory.keys(); }
    void setDeferredData(const QString& key, std::function<QByteArray()> produce) override { pending[key] = std::move(produce); }

    void produce()
    {
        for (auto& [key, make] : pending)
            memory.setData(key, make());
        pending.clear();
    }

    test::MemoryDefaults memory;
    std::map<QString, std::function<QByteArray()>> pending;
};

} // namespace

TEST(PromptScriptSaving, TheProjectsAreEncodedWhenTheStoreGetsToThemNotAtEachStep)
{
    test::TestPlatform env;
    DeferringDefaults defaults;
    PromptScript script(defaults);
    script.replaceText(QStringLiteral("1\n甲\n---\n2\n乙\n---\n3\n丙"));
    defaults.produce();
    const QUuid first = script.activeProjectID();

    // Steps hand over what to encode; nothing is encoded until the store asks.
    int encoded = 0;
    script.moveNext();
    ASSERT_EQ(defaults.pending.count(PromptScript::projectsKey), 1u);
    auto make = defaults.pending.at(PromptScript::projectsKey);
    defaults.pending[PromptScript::projectsKey] = [&encoded, make] { ++encoded; return make(); };
    script.moveNext();
    EXPECT_EQ(encoded, 0);
    defaults.produce();
    EXPECT_EQ(test::readStoredState(defaults.memory).projects.front().currentIndex, 2);

    // Saves skipped while another project was active must not leave its old
    // encoding to be used once it is inactive again.
    const QUuid second = script.createProject(QStringLiteral("乙项目"));
    defaults.produce();
    script.selectProject(first);
    defaults.produce(); // the second project is now kept encoded, still empty
    script.selectProject(second);
    script.replaceText(QStringLiteral("1\n新的稿件"));
    script.selectProject(first); // only this last save is made
    defaults.produce();
    const StoredState stored = test::readStoredState(defaults.memory);
    ASSERT_EQ(stored.projects.size(), 2u);
    EXPECT_EQ(stored.projects[1].id, second);
    EXPECT_TRUE(stored.projects[1].rawText.contains(QStringLiteral("新的稿件")));
    EXPECT_EQ(stored.toJson(), defaults.memory.data(PromptScript::projectsKey));
}
