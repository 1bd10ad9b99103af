#include "editing/ScriptEditorWindowController.h"

#include "EditingFixture.h"
#include "editing/EditingAlertSheet.h"
#include "editing/ScriptEditorTexts.h"
#include "editing/TextFindBar.h"
#include "support/QtPrinting.h"
#include "support/Snapshot.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFontMetricsF>
#include <QLabel>
#include <QTest>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTextCursor>
#include <QTextEdit>

using namespace quorvia;

namespace {

class ScriptEditorTest : public test::EditingFixture {
protected:
    ScriptEditorTest()
    {
        script.replaceText(QStringLiteral("1\n开场\n---\n4\n第四页\n---\nBrowser\n演示浏览器\n---\n4\n又一页"));
    }

    const PromptTimelineBlock& block(int i) const { return script.timelineBlocks()[std::size_t(i)]; }

    // Types a label and text, saves, and answers the sheet it raised (none when saved).
    std::optional<script_editor::Alert> save(const QString& label, std::optional<QString> text = std::nullopt)
    {
        editor.labelField()->setText(label);
        if (text)
            editor.textView()->setPlainText(*text);
        editor.savePressed();
        const auto sheets = children<EditingAlertSheet>(editor.window());
        if (sheets.empty())
            return std::nullopt;
        script_editor::Alert alert{sheets.front()->message(), sheets.front()->informativeText()};
        test::keepSnapshot(sheets.front()->grab(), QStringLiteral("script-editor-alert"));
        for (auto* sheet : sheets)
            delete sheet;
        return alert;
    }

    ScriptEditorWindowController editor{script};
};

} // namespace

TEST_F(ScriptEditorTest, PresentsTheCurrentBlockCentredOnTheBuiltInScreen)
{
    EXPECT_FALSE(editor.window()->isVisible());
    EXPECT_EQ(editor.window()->title(), QStringLiteral("编辑演讲稿"));
    EXPECT_EQ(editor.window()->level(), platform::Window::floatingLevel);
    EXPECT_EQ(editor.window()->sharingType(), platform::SharingType::none);

    script.setIndex(1);
    editor.present();
    ASSERT_TRUE(editor.window()->isVisible());
    EXPECT_EQ(editor.editingBlockID(), block(1).id);
    EXPECT_EQ(editor.window()->title(), QStringLiteral("编辑稿件块 4 · 默认演讲"));
    EXPECT_EQ(editor.labelField()->text(), QStringLiteral("4"));
    EXPECT_EQ(editor.textView()->toPlainText(), QStringLiteral("第四页"));
    EXPECT_EQ(editor.textView()->textCursor().position(), 3);
    const auto visible = test::FakeDisplayService::builtIn(1).visibleFrame;
    EXPECT_EQ(editor.window()->frame(),
              platform::Rect(visible.midX() - 340, visible.midY() - 260, 680, 520));
    editor.window()->resize(680, 520);
    test::keepSnapshot(editor.window()->grab(), QStringLiteral("script-editor"));

    // Another block replaces the controls, unsaved input included.
    editor.labelField()->setText(QStringLiteral("99"));
    editor.present(block(2).id);
    EXPECT_EQ(editor.labelField()->text(), QStringLiteral("Browser"));
    EXPECT_EQ(editor.window()->title(), QStringLiteral("编辑稿件块 Browser · 默认演讲"));
}

TEST_F(ScriptEditorTest, NothingToEditChangesNothing)
{
    editor.present(QUuid::createUuid());
    EXPECT_FALSE(editor.window()->isVisible());
    EXPECT_EQ(editor.editingBlockID(), std::nullopt);

    script.deleteTimeline();
    editor.present();
    EXPECT_FALSE(editor.window()->isVisible());
    EXPECT_EQ(editor.window()->title(), QStringLiteral("编辑演讲稿"));
}

TEST_F(ScriptEditorTest, WithoutABuiltInScreenTheWindowStaysHidden)
{
    displays->setScreens({test::FakeDisplayService::external(2)});
    editor.present(block(0).id);
    EXPECT_FALSE(editor.window()->isVisible());

    // A screen change while hidden only moves it.
    displays->setScreens({test::FakeDisplayService::builtIn(1)});
    editor.positionOnBuiltInScreen();
    EXPECT_FALSE(editor.window()->isVisible());
    EXPECT_EQ(editor.window()->frame().origin.x, test::FakeDisplayService::builtIn(1).visibleFrame.midX() - 340);
}

TEST_F(ScriptEditorTest, SavingTrimsAndStoresAndHides)
{
    editor.present(block(0).id);
    EXPECT_EQ(save(QStringLiteral(" 7 "), QStringLiteral("\n\n  新的开场\n第二行 \n\n")), std::nullopt);
    EXPECT_FALSE(editor.window()->isVisible());
    EXPECT_EQ(block(0).label, QStringLiteral("7"));
    EXPECT_EQ(block(0).text, QStringLiteral("新的开场\n第二行"));
    EXPECT_EQ(editor.window()->title(), QStringLiteral("编辑稿件块 1 · 默认演讲"));

    // A number other blocks carry, and a block's own letters label, are fine.
    editor.present(block(0).id);
    EXPECT_EQ(save(QStringLiteral("4")), std::nullopt);
    editor.present(block(2).id);
    EXPECT_EQ(save(QStringLiteral("Browser")), std::nullopt);
}

TEST_F(ScriptEditorTest, SpecialSpacesAndSeparatorsSurviveASaveEditedOrNot)
{
    // A no-break space, a line separator, a paragraph separator and a zero-width no-break space.
    const QString special = QStringLiteral("价格\u00A0100\u00A0元\u2028下一行\u2029再一段\uFEFF结尾");
    ASSERT_TRUE(script.updateBlock(block(0).id, QStringLiteral("1"), special));
    ASSERT_EQ(block(0).text, special);
    const QString before = script.rawText();

    editor.present(block(0).id);
    EXPECT_EQ(save(QStringLiteral("1")), std::nullopt);
    EXPECT_EQ(block(0).text, special);
    EXPECT_EQ(script.rawText(), before);

    // Typing keeps the untouched characters around the change.
    editor.present(block(0).id);
    QTextCursor end(editor.textView()->document());
    end.movePosition(QTextCursor::End);
    end.insertText(QStringLiteral("！"));
    EXPECT_EQ(save(QStringLiteral("1")), std::nullopt);
    EXPECT_EQ(block(0).text, QStringLiteral("价格\u00A0100\u00A0元\u2028下一行\n再一段\uFEFF结尾！"));
}

TEST_F(ScriptEditorTest, AnInvalidLabelShowsTheSheetAndKeepsTheInput)
{
    editor.present(block(0).id);
    const QString before = script.rawText();
    for (const QString& label : {QStringLiteral("0"), QStringLiteral("-2"), QStringLiteral(""), QStringLiteral("A1"),
                                 QStringLiteral("a b"), QStringLiteral("演示"), QStringLiteral("browser")}) {
        SCOPED_TRACE(label.toStdString());
        EXPECT_EQ(save(label, QStringLiteral("保留的文字")), script_editor::invalidLabelAlert());
        EXPECT_TRUE(editor.window()->isVisible());
        EXPECT_EQ(editor.labelField()->text(), label);
        EXPECT_EQ(editor.textView()->toPlainText(), QStringLiteral("保留的文字"));
    }
    EXPECT_EQ(script.rawText(), before);
}

TEST_F(ScriptEditorTest, APastedBlockOrScriptBeyondTheScriptLimitsIsRefusedWithTheInputKept)
{
    editor.present(block(0).id);
    const QString before = script.rawText();
    // The label "1" and a text of 1 MB in CJK characters, three bytes each, plus one.
    const QString overBlock = QString(1024 * 1024 / 3, QChar(0x8BB2)) + u'x';
    EXPECT_EQ(save(QStringLiteral("1"), overBlock), script_editor::tooLargeAlert(ScriptText::SizeLimit::blockBytes));
    EXPECT_TRUE(editor.window()->isVisible());
    EXPECT_EQ(editor.textView()->toPlainText().size(), overBlock.size());
    EXPECT_EQ(script.rawText(), before);
    // Blanks at the ends are not kept, so they do not count.
    EXPECT_EQ(save(QStringLiteral("1"), QStringLiteral("\n  ") + overBlock.chopped(1) + QStringLiteral("  \n")), std::nullopt);
    EXPECT_EQ(block(0).text.size(), overBlock.size() - 1);

    // Sixteen blocks a byte short of 1 MB and a small one: 14 bytes short of 16 MB in all.
    QStringList blocks(16, QStringLiteral("1\n") + QString(1024 * 1024 - 2, u'a'));
    blocks << QStringLiteral("1\nx");
    script.replaceText(blocks.join(QStringLiteral("\n---\n")));
    editor.present(block(16).id);
    EXPECT_EQ(save(QStringLiteral("1"), QString(15, u'x')), std::nullopt);
    EXPECT_EQ(save(QStringLiteral("1"), QString(16, u'x')), script_editor::tooLargeAlert(ScriptText::SizeLimit::scriptBytes));
    EXPECT_EQ(block(16).text, QString(15, u'x'));
}

TEST_F(ScriptEditorTest, ReturnAnswersTheSheet)
{
    editor.present(block(0).id);
    editor.labelField()->setText(QStringLiteral("0"));
    editor.savePressed();
    const auto sheets = children<EditingAlertSheet>(editor.window());
    ASSERT_EQ(sheets.size(), 1);
    QPointer<EditingAlertSheet> sheet = sheets.front();
    ASSERT_TRUE(sheet->isVisible());
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(sheet, &press);
    ASSERT_TRUE(sheet);
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(sheet->result(), QDialog::Accepted);
    // The editor stays up with the speaker's input.
    EXPECT_TRUE(editor.window()->isVisible());
    EXPECT_EQ(editor.labelField()->text(), QStringLiteral("0"));
    delete sheet;
}

TEST_F(ScriptEditorTest, ABlockRemovedWhileEditingIsReportedAsGone)
{
    editor.present(block(2).id);
    script.replaceText(QStringLiteral("1\n全新的稿件"));
    EXPECT_EQ(save(QStringLiteral("Browser")), script_editor::missingBlockAlert());
    EXPECT_TRUE(editor.window()->isVisible());
    EXPECT_EQ(script.timelineBlocks().size(), 1u);

    editor.cancelPressed();
    EXPECT_FALSE(editor.window()->isVisible());
    EXPECT_EQ(editor.labelField()->text(), QStringLiteral("Browser"));
}

TEST_F(ScriptEditorTest, AnEmptyTextStillTypesInTheEditorLook)
{
    ASSERT_TRUE(script.updateBlock(block(2).id, QStringLiteral("Browser"), QStringLiteral("  \n")));
    editor.present(block(2).id);
    EXPECT_TRUE(editor.textView()->toPlainText().isEmpty());
    EXPECT_EQ(editor.textView()->textCursor().position(), 0);
    const QTextCharFormat typing = editor.textView()->currentCharFormat();
    EXPECT_EQ(typing.font().pixelSize(), 18);
    EXPECT_EQ(typing.foreground().color(), QColor(Qt::white));
}

namespace {

// Keys to whatever has the keyboard, shortcuts first, as a person types them.
void type(QWidget* window, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : window;
    QTest::keyClick(target, Qt::Key(key), modifiers);
}

class ScriptEditorFindTest : public ScriptEditorTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(script.updateBlock(block(2).id, QStringLiteral("Browser"),
                                       QStringLiteral("现在请大家看现场演示。\n演示之后回到幻灯片。\n最后再演示一次。")));
        editor.present(block(2).id);
        QApplication::setActiveWindow(editor.window());
        editor.textView()->setFocus();
    }

    TextFindBar& bar() { return *editor.findBar(); }
    QString selected() const { return editor.textView()->textCursor().selectedText(); }
    int selectionStart() const { return editor.textView()->textCursor().selectionStart(); }
};

} // namespace

TEST_F(ScriptEditorFindTest, CtrlFOpensTheBarOverTheTextAndReturnStepsThroughEveryMatchWrapping)
{
    ASSERT_FALSE(bar().isVisible());
    type(editor.window(), Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(bar().isVisible());
    EXPECT_EQ(QApplication::focusWidget(), bar().field());
    EXPECT_EQ(bar().parentWidget(), editor.textView());
    EXPECT_TRUE(editor.textView()->rect().contains(bar().geometry()));

    bar().field()->setText(QStringLiteral("演示"));
    // The caret sat at the end: the search wraps to the first occurrence.
    EXPECT_EQ(bar().matches().size(), 3u);
    EXPECT_EQ(editor.textView()->extraSelections().size(), 3);
    EXPECT_EQ(selectionStart(), 8);
    EXPECT_EQ(bar().countLabel()->text(), QStringLiteral("1/3"));
    test::keepSnapshot(editor.window()->grab(), QStringLiteral("script-editor-find"));

    type(editor.window(), Qt::Key_Return);
    EXPECT_EQ(selectionStart(), 12);
    type(editor.window(), Qt::Key_Return);
    EXPECT_EQ(selectionStart(), 26);
    EXPECT_EQ(bar().countLabel()->text(), QStringLiteral("3/3"));
    type(editor.window(), Qt::Key_Return);
    EXPECT_EQ(selectionStart(), 8);
    type(editor.window(), Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(selectionStart(), 26);
    type(editor.window(), Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(selectionStart(), 12);
    EXPECT_EQ(selected(), QStringLiteral("演示"));
    // The text itself never changed.
    EXPECT_EQ(editor.textView()->toPlainText(), QStringLiteral("现在请大家看现场演示。\n演示之后回到幻灯片。\n最后再演示一次。"));
}

TEST_F(ScriptEditorFindTest, AMatchOnTheFirstLineIsNotUnderTheBarAndClosingGivesTheTopBack)
{
    QTextEdit* text = editor.textView();
    const int viewportTop = text->viewport()->geometry().top();
    // The match ends the first line, towards the right where the bar stands.
    text->setPlainText(QString(24, QChar(0x5B57)) + QStringLiteral("目标\n第二行"));
    type(editor.window(), Qt::Key_F, Qt::ControlModifier);
    bar().field()->setText(QStringLiteral("目标"));
    ASSERT_EQ(selectionStart(), 24);
    // Where the match is drawn, in the coordinates the bar stands in.
    QTextCursor edge = text->textCursor();
    const QRect end = text->cursorRect(edge);
    edge.setPosition(24);
    const QRect match = text->cursorRect(edge).united(end).translated(text->viewport()->pos());
    ASSERT_GT(match.left(), bar().geometry().left()) << "the match lies within the bar's width";
    EXPECT_FALSE(bar().geometry().intersects(match));
    EXPECT_FALSE(bar().geometry().intersects(text->viewport()->geometry()));
    test::keepSnapshot(editor.window()->grab(), QStringLiteral("script-editor-find-first-line"));

    type(editor.window(), Qt::Key_Escape);
    EXPECT_EQ(text->viewport()->geometry().top(), viewportTop);
}

TEST_F(ScriptEditorFindTest, EscapeClosesTheBarClearsTheMarksAndGivesTheTextTheKeyboard)
{
    type(editor.window(), Qt::Key_F, Qt::ControlModifier);
    bar().field()->setText(QStringLiteral("幻灯片"));
    ASSERT_EQ(editor.textView()->extraSelections().size(), 1);
    type(editor.window(), Qt::Key_Escape);
    EXPECT_FALSE(bar().isVisible());
    EXPECT_TRUE(editor.textView()->extraSelections().isEmpty());
    EXPECT_EQ(QApplication::focusWidget(), editor.textView());
    // The found text stays selected, and Escape left the window up.
    EXPECT_EQ(selected(), QStringLiteral("幻灯片"));
    EXPECT_TRUE(editor.window()->isVisible());

    // Opened again, a one-line selection becomes the query.
    type(editor.window(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(bar().field()->text(), QStringLiteral("幻灯片"));
    EXPECT_EQ(editor.textView()->extraSelections().size(), 1);
}

TEST_F(ScriptEditorFindTest, NoMatchSaysSoAndLeavesTheSelectionAndTheMarksFollowEdits)
{
    type(editor.window(), Qt::Key_F, Qt::ControlModifier);
    const int caret = editor.textView()->textCursor().position();
    bar().field()->setText(QStringLiteral("结尾"));
    EXPECT_EQ(bar().countLabel()->text(), QStringLiteral("无结果"));
    type(editor.window(), Qt::Key_Return);
    EXPECT_EQ(editor.textView()->textCursor().position(), caret);
    EXPECT_TRUE(editor.textView()->extraSelections().isEmpty());

    // Text typed while the bar is open is searched too.
    QTextCursor end(editor.textView()->document());
    end.movePosition(QTextCursor::End);
    end.insertText(QStringLiteral("结尾"));
    EXPECT_EQ(editor.textView()->extraSelections().size(), 1);
    type(editor.window(), Qt::Key_Return);
    EXPECT_EQ(selected(), QStringLiteral("结尾"));
    EXPECT_EQ(bar().countLabel()->text(), QStringLiteral("1/1"));

    // Another block presented into the window is searched afresh.
    editor.present(block(0).id);
    EXPECT_TRUE(editor.textView()->extraSelections().isEmpty());
}

TEST_F(ScriptEditorTest, TheLabelFieldsFiguresTakeOneWidth)
{
    const QFontMetricsF metrics(editor.labelField()->font());
    EXPECT_DOUBLE_EQ(metrics.horizontalAdvance(QStringLiteral("1")), metrics.horizontalAdvance(QStringLiteral("8")));
    EXPECT_EQ(editor.labelField()->font().pixelSize(), 16);
    EXPECT_EQ(editor.labelField()->font().weight(), QFont::DemiBold);
}
