#include "CoordinatorHarness.h"
#include "support/QtPrinting.h"

using namespace quorvia;
using namespace quorvia::test;
using Document = SimulatedKeynote::Document;

namespace {

const QString kTalk = QStringLiteral("/x/Talk.key");

class CoordinatorKeynoteTest : public CoordinatorHarness {
protected:
    // Keynote showing Talk.key, bound as the active project's deck.
    void bindTalk(int slides, const QString& script)
    {
        buildAndStart();
        auto document = Document::withSlides(QStringLiteral("Talk.key"), kTalk, slides);
        document.notes[2] = QStringLiteral("old three");
        keynote->launch();
        keynote->open(document);
        app().script().replaceText(script);
        app().script().replaceDeck(PresentationDeck::keynoteDocument(kTalk, slides));
        app().keynote().refresh();
        settle();
    }
    std::pair<QString, bool> result() { return app().keynoteNotesResult(); }
};

TEST_F(CoordinatorKeynoteTest, ImportBindsTheDocumentKeynoteOpenedAndSwitchesSyncOn)
{
    buildAndStart();
    keynote->launch();
    keynote->addFile(Document::withSlides(QStringLiteral("Talk.key"), kTalk, 30));
    dialogs->answerPanel(kTalk);
    app().importKeynoteDocument();
    runFor(2.0);
    ASSERT_EQ(dialogs->panels.size(), 1u);
    EXPECT_EQ(dialogs->panels[0].request.title, QStringLiteral("导入当前演讲项目的 Keynote 文稿"));
    EXPECT_EQ(dialogs->panels[0].request.allowedExtensions, std::vector{QStringLiteral("key")});
    ASSERT_TRUE(app().script().deck());
    EXPECT_EQ(app().script().deck()->slideCount(), 30);
    EXPECT_EQ(app().script().deck()->slides.back().number, 30);
    EXPECT_TRUE(app().sync().isEnabled());
    EXPECT_EQ(result(), std::pair(QStringLiteral(".key 文稿已绑定，双向同步已自动启用"), false));
}

TEST_F(CoordinatorKeynoteTest, ImportDropsTheAnswerWhenTheProjectChangedMeanwhile)
{
    buildAndStart();
    keynote->addFile(Document::withSlides(QStringLiteral("Talk.key"), kTalk, 30));
    keynote->launchDelay = 1.0;
    dialogs->answerPanel(kTalk);
    app().importKeynoteDocument();
    settle();
    const QUuid first = app().script().activeProjectID();
    app().script().createProject(QStringLiteral("另一个"));
    runFor(3.0);
    EXPECT_FALSE(app().script().deck());
    app().script().selectProject(first);
    EXPECT_FALSE(app().script().deck());
    EXPECT_FALSE(app().sync().isEnabled());
    EXPECT_TRUE(dialogs->alerts.empty());
}

TEST_F(CoordinatorKeynoteTest, ImportFailureShowsTheOpenErrorAndBindsNothing)
{
    buildAndStart();
    dialogs->answerPanel(QStringLiteral("/nowhere/Missing.key"));
    dialogs->answerAlert(0);
    app().importKeynoteDocument();
    runFor(15.0);
    ASSERT_EQ(dialogs->alertMessages(), std::vector{QStringLiteral(".key 文稿导入失败")});
    EXPECT_EQ(dialogs->alerts[0].buttons, std::vector{QStringLiteral("知道了")});
    EXPECT_EQ(dialogs->alerts[0].style, platform::AlertStyle::warning);
    EXPECT_FALSE(app().script().deck());
}

TEST_F(CoordinatorKeynoteTest, SectionsOnOneSlideBecomeOneNoteSeparatedByABlankLine)
{
    bindTalk(4, QStringLiteral("3\ns1\n---\n3\ns2\n---\nA\ndemo"));
    EXPECT_EQ(app().mappedPresenterNotes(), (std::map<qint64, QString>{{3, QStringLiteral("s1\n\ns2")}}));
    app().replaceKeynotePresenterNotes();
    settle();
    EXPECT_EQ(result(), std::pair(QStringLiteral("已替换 1 页 Keynote 注释"), false));
    EXPECT_EQ(keynote->notes(3), QStringLiteral("s1\n\ns2"));
    EXPECT_EQ(keynote->writtenSlides(), std::vector<qint64>{3});
}

TEST_F(CoordinatorKeynoteTest, ReplaceTwiceThenRestoreBringsBackTheNotesFromBeforeTheFirstReplace)
{
    bindTalk(4, QStringLiteral("3\ns1\n---\nA\nx"));
    app().replaceKeynotePresenterNotes();
    settle();
    app().script().replaceText(QStringLiteral("3\nagain\n---\nA\nx"));
    app().replaceKeynotePresenterNotes();
    settle();
    EXPECT_EQ(keynote->notes(3), QStringLiteral("again"));
    app().restoreKeynotePresenterNotes();
    settle();
    EXPECT_EQ(result(), std::pair(QStringLiteral("已恢复 1 页原注释"), false));
    EXPECT_EQ(keynote->notes(3), QStringLiteral("old three"));
    EXPECT_FALSE(app().script().keynoteNotesBackup());

    app().restoreKeynotePresenterNotes();
    EXPECT_EQ(result(), std::pair(QStringLiteral("当前 Keynote 没有可恢复的原注释"), true));
}

TEST_F(CoordinatorKeynoteTest, NotesCommandsRefuseWithoutAMatchingStoppedDocumentOrWithAnotherDocumentsBackup)
{
    bindTalk(4, QStringLiteral("3\ns1\n---\nA\nx"));
    KeynotePresenterNotesBackup other{QStringLiteral("Other.key"), QStringLiteral("/x/Other.key"), 4, {{1, QStringLiteral("x")}}};
    ASSERT_TRUE(app().script().mergeKeynoteNotesBackup(other));
    app().replaceKeynotePresenterNotes();
    EXPECT_EQ(result(), std::pair(QStringLiteral("请先打开上一个 Keynote 文稿恢复原注释"), true));
    app().restoreKeynotePresenterNotes();
    EXPECT_EQ(result(), std::pair(QStringLiteral("当前 Keynote 没有可恢复的原注释"), true));

    app().script().replaceText(QStringLiteral("A\ndemo\n---\nB\nmore"));
    app().script().clearKeynoteNotesBackup();
    app().replaceKeynotePresenterNotes();
    EXPECT_EQ(result(), std::pair(QStringLiteral("没有可写入的页码映射"), true));

    app().script().replaceDeck(PresentationDeck::keynoteDocument(kTalk, 5));
    app().replaceKeynotePresenterNotes();
    EXPECT_EQ(result(), std::pair(QStringLiteral("请先打开匹配的 Keynote 文稿并停止放映"), true));
}

} // namespace

namespace {

TEST_F(CoordinatorKeynoteTest, WithKeynotePlayingTheSlideFollowsAnArrowKeyStepAndMirroringStopsIt)
{
    bindTalk(4, QStringLiteral("1\na\n---\n2\nb\n---\n3\nc"));
    bool started = false;
    app().keynote().startSlideshow([&](bool ok) { started = ok; });
    runFor(1.0);
    ASSERT_TRUE(started);
    ASSERT_TRUE(app().sync().enable());
    runFor(1.0);

    EXPECT_TRUE(shell->press({platform::KeyPress::Key::right}));
    runFor(2.0);
    ASSERT_TRUE(keynote->frontDocument());
    EXPECT_EQ(keynote->frontDocument()->currentSlide, 2);

    // The shield tells sync to stop: a further step no longer turns the slide.
    mirrorDisplays();
    EXPECT_TRUE(app().isShieldActive());
    app().script().moveNext(PresentationEventSource::manualPrompt);
    runFor(2.0);
    EXPECT_EQ(keynote->frontDocument()->currentSlide, 2);
}

} // namespace

namespace {

TEST_F(CoordinatorKeynoteTest, SpeechAutomationIsRefusedWhileKeynoteIsStoppedAndUnderTheShield)
{
    bindTalk(4, QStringLiteral("1\na\n---\n2\nb"));
    app().script().setPromptMode(PromptMode::wordFollow);
    EXPECT_FALSE(app().speech().startSelectedMode());
    EXPECT_EQ(app().speech().status().title(), QStringLiteral("语音：不可用"));

    app().keynote().startSlideshow();
    runFor(1.0);
    mirrorDisplays();
    EXPECT_FALSE(app().speech().startSelectedMode());
    EXPECT_EQ(app().speech().status().title(), QStringLiteral("语音：不可用"));
}

} // namespace
