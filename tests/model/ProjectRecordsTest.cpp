#include "model/CloudSlideSuggestion.h"
#include "model/KeynotePresenterNotesBackup.h"
#include "model/PresentationDeck.h"
#include "model/PresentationEventSource.h"
#include "model/PromptMode.h"
#include "model/SlideMappingReview.h"
#include "model/StoredProject.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quorvia;

namespace {

QJsonObject parseObject(const char* json) { return QJsonDocument::fromJson(QByteArray(json)).object(); }

KeynotePresenterNotesBackup backup(const QString& name, std::optional<QString> path, qint64 slides)
{
    return KeynotePresenterNotesBackup{name, std::move(path), slides, {}};
}

} // namespace

TEST(ProjectRecordsEnums, RawValuesAndTitles)
{
    EXPECT_EQ(rawValue(PresentationEventSource::commandEcho), "commandEcho");
    EXPECT_EQ(presentationEventSourceFromRawValue("keynoteManual"), PresentationEventSource::keynoteManual);
    EXPECT_FALSE(presentationEventSourceFromRawValue("System").has_value());
    int automatic = 0;
    for (const char* raw : {"manualPrompt", "keynoteManual", "speech", "keyword", "fixedScroll", "commandEcho", "recovery", "system"})
        automatic += isAutomatic(*presentationEventSourceFromRawValue(raw)) ? 1 : 0;
    EXPECT_EQ(automatic, 3);
    EXPECT_TRUE(isAutomatic(PresentationEventSource::fixedScroll));

    QStringList titles;
    for (auto mode : allPromptModes) {
        titles.append(title(mode));
        EXPECT_EQ(promptModeFromRawValue(rawValue(mode)), mode);
    }
    EXPECT_EQ(titles, (QStringList{QStringLiteral("逐字跟读"), QStringLiteral("关键词"), QStringLiteral("固定滚动")}));
    EXPECT_FALSE(promptModeFromRawValue("wordfollow").has_value());
}

TEST(ProjectRecordsSlide, ShortTitle)
{
    EXPECT_EQ((PresentationSlide{1, " \n \n"}).shortTitle(), QStringLiteral("无文字"));
    EXPECT_EQ((PresentationSlide{1, "  Intro\nPart two \n"}).shortTitle(), "Intro Part two");
    EXPECT_EQ((PresentationSlide{1, QString(50, u'x')}).shortTitle(), QString(42, u'x'));
    // 42 user-perceived characters, whatever their size in code units.
    const QString family = QStringLiteral("👨‍👩‍👧");
    QString long50;
    for (int i = 0; i < 50; ++i)
        long50 += family;
    const QString title = (PresentationSlide{1, long50}).shortTitle();
    EXPECT_EQ(title.size(), family.size() * 42);
    EXPECT_TRUE(long50.startsWith(title));
}

TEST(ProjectRecordsDeck, KeynoteDocumentReadsAttributes)
{
    const PresentationDeck missing = PresentationDeck::keynoteDocument("/no/such/dir/Talk.key", 0);
    EXPECT_EQ(missing.filePath, "/no/such/dir/Talk.key");
    EXPECT_EQ(missing.fileName, "Talk.key");
    EXPECT_EQ(missing.fileSize, 0);
    EXPECT_EQ(missing.modificationTime, 0.0);
    ASSERT_EQ(missing.slides.size(), 1u);
    EXPECT_EQ(missing.slides[0], (PresentationSlide{1, ""}));

    QTemporaryDir dir;
    const QString path = dir.filePath("Real.key");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("12345");
    file.close();
    const PresentationDeck real = PresentationDeck::keynoteDocument(path, 3);
    EXPECT_EQ(real.fileSize, 5);
    EXPECT_GT(real.modificationTime, 1.0e9);
    EXPECT_EQ(real.slideCount(), 3);
    EXPECT_EQ(real.slides[2].number, 3);

    // Towards a missing file the old attributes stay, the name and path follow.
    const PresentationDeck moved = real.relocated("/elsewhere/Copy.key");
    EXPECT_EQ(moved.fileName, "Copy.key");
    EXPECT_EQ(moved.filePath, "/elsewhere/Copy.key");
    EXPECT_EQ(moved.fileSize, 5);
    EXPECT_EQ(moved.modificationTime, real.modificationTime);
    EXPECT_EQ(moved.slides, real.slides);
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
    QJsonObject fractionalSize = deck.toJson();
    fractionalSize.insert("fileSize", 1.5);
    EXPECT_FALSE(PresentationDeck::fromJson(fractionalSize).has_value());

    // Non-finite numbers never reach the JSON text.
    deck.modificationTime = std::numeric_limits<double>::quiet_NaN();
    const auto reread = PresentationDeck::fromJson(QJsonDocument::fromJson(QJsonDocument(deck.toJson()).toJson()).object());
    ASSERT_TRUE(reread.has_value());
    EXPECT_EQ(reread->modificationTime, 0.0);
}

TEST(ProjectRecordsReview, JsonLeavesOutAbsentFields)
{
    const QJsonObject manual = SlideMappingReview::manual.toJson();
    EXPECT_FALSE(manual.contains("suggestedSlide"));
    EXPECT_FALSE(manual.contains("confidence"));
    EXPECT_EQ(manual.value("origin").toString(), "manual");
    EXPECT_EQ(SlideMappingReview::fromJson(parseObject(R"({"requiresReview":false,"origin":"manual"})")), SlideMappingReview::manual);

    const SlideMappingReview cloud{4, 0.5, true, SlideMappingReview::Origin::cloudAI};
    EXPECT_EQ(SlideMappingReview::fromJson(cloud.toJson()), cloud);
    EXPECT_FALSE(SlideMappingReview::fromJson(parseObject(R"({"requiresReview":false,"origin":"robot"})")).has_value());
    EXPECT_FALSE(SlideMappingReview::fromJson(parseObject(R"({"origin":"manual"})")).has_value());
}

TEST(ProjectRecordsSuggestion, SnakeCaseKeysAllRequired)
{
    const auto s = CloudSlideSuggestion::fromJson(parseObject(R"({"section_index":2,"slide_number":5,"confidence":0.9})"));
    ASSERT_TRUE(s.has_value());
    EXPECT_EQ(*s, (CloudSlideSuggestion{2, 5, 0.9}));
    EXPECT_EQ(CloudSlideSuggestion::fromJson(s->toJson()), s);
    EXPECT_FALSE(CloudSlideSuggestion::fromJson(parseObject(R"({"sectionIndex":2,"slide_number":5,"confidence":0.9})")).has_value());
    EXPECT_FALSE(CloudSlideSuggestion::fromJson(parseObject(R"({"section_index":2,"slide_number":"5","confidence":0.9})")).has_value());
    EXPECT_DOUBLE_EQ(CloudSlideSuggestion::reviewThreshold, 0.72);
}

TEST(ProjectRecordsNotesBackup, MatchingRules)
{
    EXPECT_FALSE(backup("Talk.key", "/A/Talk.key", 5).matches("Talk.key", QString("/B/Talk.key"), 5));
    EXPECT_TRUE(backup("Talk.key", std::nullopt, 5).matches("talk.KEY", QString("/B/Talk.key"), 5));
    EXPECT_TRUE(backup("Talk.key", "/Talks/../Talks/Talk.key", 5).matches("Other.key", QString("/Talks/Talk.key"), 5));
    EXPECT_TRUE(backup("Talk.key", "/Talks/./Talk.key", 5).matches("x", QString("/Talks//Talk.key"), 5));
    EXPECT_FALSE(backup("Talk.key", "/Talks/Talk.key", 5).matches("Talk.key", QString("/Talks/Talk.key"), 6));
    EXPECT_TRUE(backup(QStringLiteral("Café.key"), std::nullopt, 2).matches(QStringLiteral("CAFE.key"), std::nullopt, 2));
}

TEST(ProjectRecordsNotesBackup, Relocation)
{
    KeynotePresenterNotesBackup notes = backup("Talk.key", "/A/Talk.key", 2);
    notes.notesBySlide = {{1, "one"}};
    const KeynotePresenterNotesBackup moved = notes.relocated("/Store/X/Talk copy.key");
    EXPECT_EQ(moved.documentName, "Talk copy.key");
    EXPECT_EQ(moved.documentPath, "/Store/X/Talk copy.key");
    EXPECT_EQ(moved.notesBySlide, notes.notesBySlide);

    const PresentationDeck bound{"/A/Talk.key", "Talk.key", 1, 1, {{1, ""}, {2, ""}}};
    EXPECT_EQ(notes.relocated("/C/Talk.key", bound).documentPath, "/C/Talk.key");
    PresentationDeck otherCount = bound;
    otherCount.slides.pop_back();
    EXPECT_EQ(notes.relocated("/C/Talk.key", otherCount), notes);
}

TEST(ProjectRecordsNotesBackup, JsonWithSlideNumberKeys)
{
    KeynotePresenterNotesBackup notes = backup(QStringLiteral("演讲.key"), std::nullopt, 12);
    notes.notesBySlide = {{1, "a"}, {10, ""}, {2, QStringLiteral("注释")}};
    const QJsonObject json = notes.toJson();
    EXPECT_FALSE(json.contains("documentPath"));
    EXPECT_EQ(json.value("notesBySlide").toObject().value("10").toString(), "");
    EXPECT_EQ(KeynotePresenterNotesBackup::fromJson(json), notes);

    notes.documentPath = "/p/演讲.key";
    EXPECT_EQ(KeynotePresenterNotesBackup::fromJson(notes.toJson()), notes);

    EXPECT_FALSE(KeynotePresenterNotesBackup::fromJson(
                     parseObject(R"({"documentName":"T","slideCount":2,"notesBySlide":{"1":"a","two":"b"}})"))
                     .has_value());
    EXPECT_FALSE(KeynotePresenterNotesBackup::fromJson(parseObject(R"({"documentName":"T","slideCount":2,"notesBySlide":{"1":3}})")).has_value());
    EXPECT_FALSE(KeynotePresenterNotesBackup::fromJson(parseObject(R"({"documentName":"T","notesBySlide":{}})")).has_value());
    EXPECT_TRUE(KeynotePresenterNotesBackup::fromJson(parseObject(R"({"documentName":"T","slideCount":2,"notesBySlide":{},"x":1})")).has_value());
}

TEST(ProjectRecordsStoredProject, OptionalFieldsAreLeftOutAndReadBack)
{
    StoredProject project;
    project.id = QUuid::createUuid();
    project.name = QStringLiteral("默认演讲");
    project.rawText = "1\nA";
    project.currentIndex = 0;
    const QJsonObject minimal = project.toJson();
    EXPECT_EQ(minimal.keys(), (QStringList{"currentIndex", "id", "name", "rawText"}));
    EXPECT_EQ(StoredProject::fromJson(minimal), project);

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
    EXPECT_EQ(StoredProject::fromJson(QJsonDocument::fromJson(QJsonDocument(full).toJson()).object()), project);

    QJsonObject missingIndex = full;
    missingIndex.remove("currentIndex");
    EXPECT_FALSE(StoredProject::fromJson(missingIndex).has_value());
    QJsonObject badMode = full;
    badMode.insert("promptMode", "scroll");
    EXPECT_FALSE(StoredProject::fromJson(badMode).has_value());
    QJsonObject badNestedBlock = full;
    badNestedBlock.insert("timelineBlocks", QJsonArray{QJsonObject{{"id", "x"}}});
    EXPECT_FALSE(StoredProject::fromJson(badNestedBlock).has_value());
}
