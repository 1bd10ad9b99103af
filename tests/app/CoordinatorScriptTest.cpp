#include "CoordinatorHarness.h"
#include "support/QtPrinting.h"

#include <QFile>
#include <QTemporaryDir>

using namespace quorvia;
using namespace quorvia::test;
using Key = platform::KeyPress::Key;

namespace {

const QString kUploadFailed = QStringLiteral("稿件上传失败");
const QString kBadLabel = QStringLiteral("演示块标识无效");

class CoordinatorScriptTest : public CoordinatorHarness {
protected:
    CoordinatorScriptTest()
    {
        buildAndStart();
        app().script().replaceText(QStringLiteral("1\none\n---\n2\ntwo"));
    }
    QString file(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        QFile out(path);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes);
        return path;
    }
    std::vector<QString> labels()
    {
        std::vector<QString> result;
        for (const auto& block : app().script().timelineBlocks())
            result.push_back(block.label);
        return result;
    }

    QTemporaryDir dir;
};

TEST_F(CoordinatorScriptTest, ImportReplacesTheScriptAndAnyFailureLeavesItUnchanged)
{
    app().showScriptManagement();
    ASSERT_TRUE(app().scriptManagement()->window()->isVisible());
    const QString before = app().script().rawText();

    dialogs->answerPanel(file("latin1.md", QByteArray("1\ncaf\xe9")));
    dialogs->answerAlert(0);
    app().scriptManagement()->onImport();
    settle();
    ASSERT_EQ(dialogs->alertMessages(), std::vector{kUploadFailed});
    EXPECT_EQ(dialogs->alerts[0].informativeText, QStringLiteral("文件不是有效的 UTF-8 文本。"));
    EXPECT_EQ(app().script().rawText(), before);
    EXPECT_EQ(dialogs->panels[0].request.parent, app().scriptManagement()->window());
    EXPECT_EQ(dialogs->panels[0].request.allowedExtensions, (std::vector{QStringLiteral("txt"), QStringLiteral("md")}));

    dialogs->answerPanel(std::nullopt);
    app().importScript();
    settle();
    EXPECT_EQ(app().script().rawText(), before);

    dialogs->answerPanel(file("talk.txt", QStringLiteral("1\n新稿\n---\n2\n第二段\n---\n3\n第三段").toUtf8()));
    app().importScript();
    settle();
    EXPECT_EQ(labels(), (std::vector{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}));
    EXPECT_EQ(app().script().currentIndex(), 0);
}

TEST_F(CoordinatorScriptTest, AnEmptyOrBlankFileIsRefusedAndTheScriptStays)
{
    app().showScriptManagement();
    const QString before = app().script().rawText();
    const QByteArray blanks[] = {QByteArray(), QByteArray(" \n\t\r\n  "), QStringLiteral("\u3000\n\u00A0").toUtf8()};
    int n = 0;
    for (const QByteArray& bytes : blanks) {
        dialogs->answerPanel(file(QStringLiteral("blank%1.txt").arg(n++), bytes));
        dialogs->answerAlert(0);
        app().importScript();
        settle();
    }
    ASSERT_EQ(dialogs->alertMessages(), (std::vector{kUploadFailed, kUploadFailed, kUploadFailed}));
    EXPECT_TRUE(dialogs->alerts[0].informativeText.contains(QStringLiteral("“删除全部稿件块”")));
    EXPECT_EQ(app().script().rawText(), before);
    EXPECT_EQ(labels(), (std::vector{QStringLiteral("1"), QStringLiteral("2")}));
}

TEST_F(CoordinatorScriptTest, ABinaryFileOrOneWithControlCharactersIsRefusedWithTheLineAndTheScriptStays)
{
    app().showScriptManagement();
    const QString before = app().script().rawText();
    const QByteArray files[] = {QByteArray(64, '\0'), QByteArray("1\n\xe5\xbc\x80\xe5\x9c\xba\n\x1b[31m\x07"),
                                QByteArray("1\nok\n\n\xc2\x9b")};
    int n = 0;
    for (const QByteArray& bytes : files) {
        dialogs->answerPanel(file(QStringLiteral("binary%1.txt").arg(n++), bytes));
        dialogs->answerAlert(0);
        app().importScript();
        settle();
    }
    ASSERT_EQ(dialogs->alertMessages(), (std::vector{kUploadFailed, kUploadFailed, kUploadFailed}));
    EXPECT_EQ(dialogs->alerts[0].informativeText,
              QStringLiteral("文件第 1 行含有控制字符 U+0000，不是纯文本稿件；当前稿件保持不变。"));
    EXPECT_TRUE(dialogs->alerts[1].informativeText.startsWith(QStringLiteral("文件第 3 行含有控制字符 U+001B")));
    EXPECT_TRUE(dialogs->alerts[2].informativeText.startsWith(QStringLiteral("文件第 4 行含有控制字符 U+009B")));
    EXPECT_EQ(app().script().rawText(), before);

    // Tabs and every kind of line or paragraph break are text.
    dialogs->answerPanel(file("breaks.txt", QStringLiteral("1\r\n\t缩进\u2028换行\f\v\u0085\u2029段落").toUtf8()));
    app().importScript();
    settle();
    EXPECT_EQ(dialogs->alerts.size(), 3u);
    EXPECT_TRUE(app().script().rawText().contains(QStringLiteral("\t缩进\u2028换行")));
}

TEST_F(CoordinatorScriptTest, ADemoUploadIsRefusedAsAScriptUploadIsAndKeepsTheScriptLimits)
{
    app().showScriptManagement();
    const QString before = app().script().rawText();
    const QByteArray refused[] = {QByteArray(), QByteArray(" \n\t\r\n  "), QByteArray(3, '\0'),
                                  // With its label, a few bytes over 1 MB.
                                  QByteArray("line\n").repeated(1024 * 1024 / 5 - 1) + "line"};
    int n = 0;
    for (const QByteArray& bytes : refused) {
        dialogs->answerAlert(0, QStringLiteral("browser"));
        dialogs->answerPanel(file(QStringLiteral("demo%1.md").arg(n++), bytes));
        dialogs->answerAlert(0);
        app().uploadDemoBlock();
        settle();
    }
    std::vector<QString> refusals;
    for (const auto& alert : dialogs->alerts)
        if (alert.messageText == kUploadFailed)
            refusals.push_back(alert.informativeText);
    ASSERT_EQ(refusals.size(), 4u);
    EXPECT_TRUE(refusals[0].startsWith(QStringLiteral("文件是空的或只有空白")));
    EXPECT_EQ(refusals[1], refusals[0]);
    EXPECT_TRUE(refusals[2].contains(QStringLiteral("U+0000")));
    EXPECT_EQ(refusals[3], QStringLiteral("稿件中有一块超过 1 MB，无法添加演示块。"));
    EXPECT_EQ(app().script().rawText(), before);
}

TEST_F(CoordinatorScriptTest, DemoLabelsMustBeUnusedLettersAndANumberIsRefused)
{
    dialogs->answerAlert(0, QStringLiteral("12"));
    dialogs->answerAlert(0);
    app().addDemoBlock();
    EXPECT_EQ(dialogs->alertMessages(), (std::vector{QStringLiteral("演示块标识"), kBadLabel}));
    EXPECT_EQ(dialogs->alerts[0].textField->placeholder, QStringLiteral("例如 A、demo、browser"));

    for (const QString& typed : {QStringLiteral("a1"), QStringLiteral("")}) {
        dialogs->answerAlert(0, typed);
        dialogs->answerAlert(0);
        app().addDemoBlock(QStringLiteral("text"));
    }
    EXPECT_EQ(labels().size(), 2u);

    dialogs->answerAlert(0, QStringLiteral("  demo \n"));
    app().addDemoBlock(QStringLiteral("text"));
    EXPECT_EQ(labels(), (std::vector{QStringLiteral("1"), QStringLiteral("demo"), QStringLiteral("2")}));
    EXPECT_FALSE(app().scriptEditor()); // uploaded text does not open the editor

    dialogs->answerAlert(0, QStringLiteral("DEMO"));
    dialogs->answerAlert(0);
    app().addDemoBlock(QStringLiteral("text"));
    EXPECT_EQ(dialogs->alertMessages().back(), kBadLabel);

    dialogs->answerAlert(1, QStringLiteral("B"));
    app().addDemoBlock();
    EXPECT_EQ(labels().size(), 3u);
}

TEST_F(CoordinatorScriptTest, ADemoOnAnEmptyTimelineGoesFirstAndOpensTheEditorOnIt)
{
    dialogs->answerAlert(0);
    app().deleteTimeline();
    ASSERT_FALSE(app().script().hasContent());
    app().deleteTimeline(); // nothing to delete: no question
    EXPECT_EQ(dialogs->alerts.size(), 1u);

    app().showScriptEditor();
    EXPECT_FALSE(app().scriptEditor());

    dialogs->answerAlert(0, QStringLiteral("A"));
    app().addDemoBlock();
    ASSERT_EQ(labels(), std::vector{QStringLiteral("A")});
    ASSERT_TRUE(app().scriptEditor());
    EXPECT_EQ(app().scriptEditor()->editingBlockID(), app().script().timelineBlocks()[0].id);
    EXPECT_TRUE(app().scriptEditor()->window()->isVisible());
}

TEST_F(CoordinatorScriptTest, DeleteAsksFirstAndHidesTheEditor)
{
    app().showScriptEditor();
    ASSERT_TRUE(app().scriptEditor()->window()->isVisible());
    dialogs->answerAlert(1);
    app().deleteTimeline();
    EXPECT_EQ(labels().size(), 2u);
    const auto& question = dialogs->alerts.back();
    EXPECT_EQ(question.messageText, QStringLiteral("删除全部稿件块？"));
    EXPECT_EQ(question.buttons, (std::vector{QStringLiteral("全部删除"), QStringLiteral("取消")}));
    EXPECT_EQ(question.style, platform::AlertStyle::warning);

    dialogs->answerAlert(0);
    app().deleteTimeline();
    EXPECT_TRUE(labels().empty());
    EXPECT_FALSE(app().scriptEditor()->window()->isVisible());
}

TEST_F(CoordinatorScriptTest, UploadedDemoTextGoesAfterTheCurrentBlock)
{
    app().showScriptManagement();
    dialogs->answerAlert(0, QStringLiteral("browser"));
    dialogs->answerPanel(file("demo.md", QStringLiteral("打开浏览器").toUtf8()));
    app().uploadDemoBlock();
    settle();
    EXPECT_EQ(dialogs->panels[0].request.title, QStringLiteral("上传演示块 browser"));
    EXPECT_EQ(labels(), (std::vector{QStringLiteral("1"), QStringLiteral("browser"), QStringLiteral("2")}));
    EXPECT_EQ(app().script().timelineBlocks()[1].text, QStringLiteral("打开浏览器"));
}

TEST_F(CoordinatorScriptTest, EditingWindowsKeepTheArrowKeysAndRefuseWhileTheOutputRuns)
{
    app().showScriptEditor();
    shell->key = app().scriptEditor()->window();
    EXPECT_FALSE(shell->press({Key::right}));
    EXPECT_EQ(app().script().currentIndex(), 0);
    shell->key = nullptr;

    app().scroll().start();
    EXPECT_TRUE(shell->press({Key::right}));
    EXPECT_FALSE(app().scroll().isRunning());
    EXPECT_EQ(app().script().currentIndex(), 1);

    goLive();
    app().showScriptManagement();
    EXPECT_FALSE(app().scriptManagement());
}

} // namespace
