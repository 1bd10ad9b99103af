#include "model/CloudSlideSuggestion.h"
#include "model/KeynotePresenterNotesBackup.h"
#include "model/PresentationDeck.h"
#include "model/PresentationEventSource.h"
#include "model/PromptMode.h"
#include "model/SlideMappingReview.h"
#include "model/StoredProject.h"

#include "BackupFixtures.h"
#include "support/QtPrinting.h"

#include <QJsonArray>

using namespace quorvia;

namespace {

QJsonObject parseObject(const char* json) { return QJsonDocument::fromJson(QByteArray(json)).object(); }

// Through the JSON text, so that what the encoder writes is what is read.
QJsonObject throughText(const QJsonObject& object) { return QJsonDocument::fromJson(QJsonDocument(object).toJson()).object(); }

KeynotePresenterNotesBackup backup(const QString& name, std::optional<QString> path, qint64 slides)
{
    return KeynotePresenterNotesBackup{name, std::move(path), slides, {}};
}

} // namespace

TEST(ProjectRecordsEnums, AutomaticSourcesAndModeTitles)
{
    QStringList automatic;
    for (const char* raw : {"manualPrompt", "keynoteManual", "speech", "keyword", "fixedScroll", "commandEcho", "recovery", "system"})
        if (isAutomatic(presentationEventSourceFromRawValue(raw).value()))
            automatic.append(raw);
    EXPECT_EQ(automatic, (QStringList{"speech", "keyword", "fixedScroll"}));

    QStringList titles;
    for (auto mode : allPromptModes)
        titles.append(title(mode));
    EXPECT_EQ(titles, (QStringList{QStringLiteral("逐字跟读"), QStringLiteral("关键词"), QStringLiteral("固定滚动")}));
}

TEST(ProjectRecordsSlide, ShortTitle)
{
    EXPECT_EQ((PresentationSlide{1, " \n \n"}).shortTitle(), QStringLiteral("无文字"));
    EXPECT_EQ((PresentationSlide{1, "  Intro\nPart two \n"}).shortTitle(), "Intro Part two");
    // 42 user-perceived characters, whatever their size in code units.
    const QString family = QStringLiteral("👨‍👩‍👧");
    const QString title = (PresentationSlide{1, family.repeated(50)}).shortTitle();
    EXPECT_EQ(title, family.repeated(42));
}

TEST(ProjectRecordsDeck, KeynoteDocumentAndRelocation)
{
    const PresentationDeck missing = PresentationDeck::keynoteDocument("/no/such/dir/Talk.key", 0);
    EXPECT_EQ(missing, (PresentationDeck{"/no/such/dir/Talk.key", "Talk.key", 0, 0.0, {{1, ""}}}));

    QTemporaryDir dir;
    const QString path = dir.filePath("Real.key");
    test::writeFile(path, "12345");
    const PresentationDeck real = PresentationDeck::keynoteDocument(path, 3);
    EXPECT_EQ(real.fileSize, 5);
    EXPECT_GT(real.modificationTime, 1.0e9);
    EXPECT_EQ(real.slideCount(), 3);

    // Towards a missing file the old attributes stay, the name and path follow.
    const PresentationDeck moved = real.relocated("/elsewhere/Copy.key");
    EXPECT_EQ(moved, (PresentationDeck{"/elsewhere/Copy.key", "Copy.key", 5, real.modificationTime, real.slides}));
}

TEST(ProjectRecordsDeck, IdentityAndJson)
{
    PresentationDeck deck{"/a/T.key", "T.key", 42, 0, {{1, ""}, {2, "x"}}};
    EXPECT_EQ(deck.identity(), QStringLiteral("/a/T.key\x1F" "42\x1F" "0.0"));
    deck.modificationTime = 1700000000.25;
    EXPECT_EQ(deck.identity(), QStringLiteral("/a/T.key\x1F" "42\x1F" "1700000000.25"));
    deck.modificationTime = 1700000000;
    EXPECT_EQ(deck.identity(), QStringLiteral("/a/T.key\x1F" "42\x1F" "1700000000.0"));

    EXPECT_EQ(PresentationDeck::fromJson(deck.toJson()), deck);
    for (const char* key : {"filePath", "fileName", "fileSize", "modificationTime", "slides"}) {
        QJsonObject missing = deck.toJson();
        missing.remove(key);
        EXPECT_FALSE(PresentationDeck::fromJson(missing).has_value()) << key;
    }
    // Non-finite numbers never reach the JSON text.
    deck.modificationTime = std::numeric_limits<double>::quiet_NaN();
    const auto reread = PresentationDeck::fromJson(throughText(deck.toJson()));
    ASSERT_TRUE(reread.has_value());
    EXPECT_EQ(reread->modificationTime, 0.0);
}

TEST(ProjectRecordsReview, JsonOfReviewsAndSuggestions)
{
    const QJsonObject manual = SlideMappingReview::manual.toJson();
    EXPECT_EQ(manual.keys(), (QStringList{"origin", "requiresReview"}));
    EXPECT_EQ(SlideMappingReview::fromJson(parseObject(R"({"requiresReview":false,"origin":"manual"})")), SlideMappingReview::manual);
    const SlideMappingReview cloud{4, 0.5, true, SlideMappingReview::Origin::cloudAI};
    EXPECT_EQ(SlideMappingReview::fromJson(cloud.toJson()), cloud);
    EXPECT_FALSE(SlideMappingReview::fromJson(parseObject(R"({"requiresReview":false,"origin":"robot"})")).has_value());
    EXPECT_FALSE(SlideMappingReview::fromJson(parseObject(R"({"origin":"manual"})")).has_value());

    EXPECT_EQ(CloudSlideSuggestion::fromJson(parseObject(R"({"section_index":2,"slide_number":5,"confidence":0.9})")),
              (CloudSlideSuggestion{2, 5, 0.9}));
    EXPECT_FALSE(CloudSlideSuggestion::fromJson(parseObject(R"({"sectionIndex":2,"slide_number":5,"confidence":0.9})")).has_value());
}

TEST(ProjectRecordsNotesBackup, MatchingAndRelocation)
{
    EXPECT_FALSE(backup("Talk.key", "/A/Talk.key", 5).matches("Talk.key", QString("/B/Talk.key"), 5));
    EXPECT_TRUE(backup("Talk.key", std::nullopt, 5).matches("talk.KEY", QString("/B/Talk.key"), 5));
    EXPECT_TRUE(backup("Talk.key", "/Talks/../Talks/Talk.key", 5).matches("Other.key", QString("/Talks/Talk.key"), 5));
    EXPECT_FALSE(backup("Talk.key", "/Talks/Talk.key", 5).matches("Talk.key", QString("/Talks/Talk.key"), 6));
    EXPECT_TRUE(backup(QStringLiteral("Café.key"), std::nullopt, 2).matches(QStringLiteral("CAFE.key"), std::nullopt, 2));

    KeynotePresenterNotesBackup notes = backup("Talk.key", "/A/Talk.key", 2);
    notes.notesBySlide = {{1, "one"}};
    const PresentationDeck bound{"/A/Talk.key", "Talk.key", 1, 1, {{1, ""}, {2, ""}}};
    const KeynotePresenterNotesBackup moved = notes.relocated("/C/Talk copy.key", bound);
    EXPECT_EQ(moved, (KeynotePresenterNotesBackup{"Talk copy.key", QString("/C/Talk copy.key"), 2, notes.notesBySlide}));
    PresentationDeck otherCount = bound;
    otherCount.slides.pop_back();
    EXPECT_EQ(notes.relocated("/C/Talk.key", otherCount), notes);
}

TEST(ProjectRecordsNotesBackup, JsonWithSlideNumberKeys)
{
    KeynotePresenterNotesBackup notes = backup(QStringLiteral("演讲.key"), std::nullopt, 12);
    notes.notesBySlide = {{1, "a"}, {10, ""}, {2, QStringLiteral("注释")}};
    EXPECT_FALSE(notes.toJson().contains("documentPath"));
    EXPECT_EQ(KeynotePresenterNotesBackup::fromJson(throughText(notes.toJson())), notes);
    notes.documentPath = "/p/演讲.key";
    EXPECT_EQ(KeynotePresenterNotesBackup::fromJson(notes.toJson()), notes);

    EXPECT_FALSE(KeynotePresenterNotesBackup::fromJson(
                     parseObject(R"({"documentName":"T","slideCount":2,"notesBySlide":{"1":"a","two":"b"}})"))
                     .has_value());
    EXPECT_FALSE(KeynotePresenterNotesBackup::fromJson(parseObject(R"({"documentName":"T","slideCount":2,"notesBySlide":{"1":3}})")).has_value());
}

TEST(ProjectRecordsStoredProject, OptionalFieldsAreLeftOutAndReadBack)
{
    StoredProject project;
    project.id = QUuid::createUuid();
    project.name = QStringLiteral("默认演讲");
    project.rawText = "1\nA";
    EXPECT_EQ(project.toJson().keys(), (QStringList{"currentIndex", "id", "name", "rawText"}));
    EXPECT_EQ(StoredProject::fromJson(project.toJson()), project);

    project.timelineBlocks = std::vector<PromptTimelineBlock>{PromptTimelineBlock(QUuid::createUuid(), "1", "A")};
    project.slideMappings = std::vector<std::optional<qint64>>{std::nullopt, 3};
    project.slideMappingReviews = std::vector<std::optional<SlideMappingReview>>{SlideMappingReview::manual, std::nullopt};
    project.promptMode = PromptMode::keyword;
    project.speechProgress = std::vector<qint64>{0, 4};
    project.completedSections = std::vector<qint64>{1};
    project.readingCharacterIndex = 7;
    project.deck = PresentationDeck{"/a.key", "a.key", 1, 2.5, {{1, ""}}};
    project.keynoteNotesBackup = backup("a.key", "/a.key", 1);
    const QJsonObject full = project.toJson();
    EXPECT_TRUE(full.value("slideMappings").toArray().at(0).isNull());
    EXPECT_EQ(StoredProject::fromJson(throughText(full)), project);

    const QJsonValue missing(QJsonValue::Undefined); // inserting it removes the member
    for (const auto& [key, value] : {std::pair<const char*, QJsonValue>{"currentIndex", missing}, {"promptMode", "scroll"},
                                     {"timelineBlocks", QJsonArray{QJsonObject{{"id", "x"}}}}}) {
        QJsonObject broken = full;
        broken.insert(key, value);
        EXPECT_FALSE(StoredProject::fromJson(broken).has_value()) << key;
    }
}
