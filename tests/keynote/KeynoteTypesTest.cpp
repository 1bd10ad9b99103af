#include "keynote/KeynoteConnectionState.h"
#include "keynote/KeynoteDocumentIdentity.h"
#include "keynote/KeynoteOpenError.h"
#include "model/PresentationDeck.h"

#include <gtest/gtest.h>

using namespace quorvia;

namespace {

PresentationDeck deckAt(const QString& path, const QString& name)
{
    PresentationDeck deck;
    deck.filePath = path;
    deck.fileName = name;
    return deck;
}

KeynoteDocumentIdentity unsaved(const QString& name) { return {name, std::nullopt}; }

} // namespace

TEST(KeynoteDocumentIdentity, PathMatchesAfterStandardizingButKeepsCase)
{
    const KeynoteDocumentIdentity identity{QStringLiteral("Talk"), QStringLiteral("/Users/a/Talk.key")};
    EXPECT_TRUE(identity.matches(deckAt(QStringLiteral("/Users/a/./Talk.key"), QStringLiteral("Talk.key"))));
    EXPECT_TRUE(identity.matches(deckAt(QStringLiteral("/Users/a/b/../Talk.key"), QStringLiteral("Talk.key"))));
    EXPECT_FALSE(identity.matches(deckAt(QStringLiteral("/users/a/Talk.key"), QStringLiteral("Talk.key"))));
}

TEST(KeynoteDocumentIdentity, KnownPathNeverFallsBackToTheName)
{
    const KeynoteDocumentIdentity identity{QStringLiteral("Talk.key"), QStringLiteral("/A/Talk.key")};
    EXPECT_FALSE(identity.matches(deckAt(QStringLiteral("/B/Talk.key"), QStringLiteral("Talk.key"))));
    EXPECT_FALSE(identity.matches(QStringLiteral("/B/Talk.key")));
    EXPECT_TRUE(identity.matches(QStringLiteral("/A/x/../Talk.key")));
}

TEST(KeynoteDocumentIdentity, NameComparesStemsIgnoringCaseAndDiacritics)
{
    EXPECT_TRUE(unsaved(QStringLiteral("Talk")).matches(deckAt(QStringLiteral("/d/talk.KEY"), QStringLiteral("talk.KEY"))));
    EXPECT_TRUE(unsaved(QStringLiteral("Café.key")).matches(deckAt(QStringLiteral("/d/Cafe.key"), QStringLiteral("Cafe.key"))));
    EXPECT_FALSE(unsaved(QStringLiteral("Talk")).matches(deckAt(QStringLiteral("/d/Talk 2.key"), QStringLiteral("Talk 2.key"))));
    EXPECT_TRUE(unsaved(QStringLiteral("Talk.key")).matches(QStringLiteral("/x/TALK.key")));
}

TEST(KeynoteDocumentIdentity, StemDropsOnlyOneEndingAndKeepsWhatFollowsASlash)
{
    // Talk.key.key has the stem Talk.key, which is not Talk.
    EXPECT_FALSE(unsaved(QStringLiteral("Talk.key.key")).matches(QStringLiteral("/x/Talk.key")));
    EXPECT_TRUE(unsaved(QStringLiteral("Talk.key.key")).matches(QStringLiteral("/x/Talk.key.key")));
    EXPECT_TRUE(unsaved(QStringLiteral("Q1/Talk")).matches(QStringLiteral("/x/Talk.key")));
    EXPECT_FALSE(unsaved(QStringLiteral("Talk")).matches(QStringLiteral("/x/Talk.keynote")));
}

TEST(KeynoteOpenError, DescriptionsNameTheFiles)
{
    const QString head = QStringLiteral("Keynote 已返回文稿和页数，但它与所选文件不是同一文件。\n所选：/x/Talk.key\nKeynote：");
    EXPECT_EQ(KeynoteOpenError::documentMismatch(QStringLiteral("/x/Talk.key"), QStringLiteral("Other"), std::nullopt)
                  .description(),
              head + QStringLiteral("Other"));
    EXPECT_EQ(KeynoteOpenError::documentMismatch(QStringLiteral("/x/Talk.key"), QStringLiteral("Other"),
                                                 QStringLiteral("/y/Other.key"))
                  .description(),
              head + QStringLiteral("/y/Other.key"));
    EXPECT_EQ(KeynoteOpenError::identityUnavailable(QStringLiteral("/x/Talk.key")).description(),
              QStringLiteral("Keynote 已返回页数，但没有返回可验证的文稿身份。\n所选：/x/Talk.key"));
    EXPECT_EQ(KeynoteOpenError::notInstalled().description(), QStringLiteral("本机未找到 Keynote。"));
    EXPECT_EQ(KeynoteOpenError::couldNotOpen().description(), QStringLiteral("Keynote 未能打开所选文稿。"));
    EXPECT_EQ(KeynoteOpenError::automationDenied().description(),
              QStringLiteral("请在系统设置的“隐私与安全性 → 自动化”中允许本应用控制 Keynote，然后重试。"));
    EXPECT_EQ(KeynoteOpenError::timedOut().description(),
              QStringLiteral("Keynote 打开文稿后没有及时返回文档身份和页数，请确认文稿可正常打开后重试。"));
}

TEST(KeynoteConnectionState, ReadyTitleAndDetailFollowPlayback)
{
    const auto playing = KeynoteConnectionState::ready(3, 12, true);
    EXPECT_EQ(playing.title(), QStringLiteral("Keynote：第 3 / 12 页 · 放映中"));
    EXPECT_EQ(playing.detail(), QStringLiteral("页内 build 不改变页码；只在实际换页时同步提词。"));
    const auto editing = KeynoteConnectionState::ready(1, 1, false);
    EXPECT_EQ(editing.title(), QStringLiteral("Keynote：第 1 / 1 页 · 编辑中"));
    EXPECT_EQ(editing.detail(), QStringLiteral("已定向读取当前页；可使用 Keynote 原生外屏或本应用隐私输出。"));
    EXPECT_EQ(KeynoteConnectionState::ready(1234, 10000, false).title(), QStringLiteral("Keynote：第 1234 / 10000 页 · 编辑中"));
}

TEST(KeynoteConnectionState, OtherCasesTextsAndReadiness)
{
    struct Row {
        KeynoteConnectionState state;
        const char16_t* title;
        const char16_t* detail;
    };
    const Row rows[] = {
        {KeynoteConnectionState::checking(), u"Keynote：检测中", u"正在读取 Keynote 当前页。"},
        {KeynoteConnectionState::notInstalled(), u"Keynote：未安装", u"本机未找到 Keynote。安装后重新检测。"},
        {KeynoteConnectionState::notRunning(), u"Keynote：未运行", u"请先打开 Keynote 和演示文稿，再重新检测。"},
        {KeynoteConnectionState::noDocument(), u"Keynote：未打开文稿", u"Keynote 已运行，但没有打开的演示文稿。"},
        {KeynoteConnectionState::automationDenied(), u"Keynote：未授权控制",
         u"请在系统设置的“隐私与安全性 → 自动化”中允许本应用控制 Keynote。"},
        {KeynoteConnectionState::unavailable(), u"Keynote：无法读取", u"Keynote 没有返回可识别的页码；自动同步保持关闭。"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.state.title(), QString::fromUtf16(row.title));
        EXPECT_EQ(row.state.detail(), QString::fromUtf16(row.detail));
        EXPECT_FALSE(row.state.isReady());
    }
    EXPECT_TRUE(KeynoteConnectionState::ready(1, 1, false).isReady());
}

TEST(KeynoteConnectionState, EqualityComparesCaseAndValues)
{
    EXPECT_NE(KeynoteConnectionState::ready(2, 5, true), KeynoteConnectionState::ready(2, 5, false));
    EXPECT_NE(KeynoteConnectionState::ready(2, 5, true), KeynoteConnectionState::ready(3, 5, true));
    EXPECT_EQ(KeynoteConnectionState::ready(2, 5, true), KeynoteConnectionState::ready(2, 5, true));
    EXPECT_EQ(KeynoteConnectionState::checking(), KeynoteConnectionState::checking());
    EXPECT_NE(KeynoteConnectionState::checking(), KeynoteConnectionState::unavailable());
}
