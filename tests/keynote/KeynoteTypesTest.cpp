#include "keynote/KeynoteConnectionState.h"
#include "keynote/KeynoteDocumentIdentity.h"
#include "keynote/KeynoteOpenError.h"
#include "model/PresentationDeck.h"
#include "support/QtPrinting.h"

#include <QFileInfo>

#include <gtest/gtest.h>

using namespace quorvia;

TEST(KeynoteDocumentIdentity, KnownPathDecidesAloneElseNameStemsCompare)
{
    const std::optional<QString> none;
    const std::tuple<KeynoteDocumentIdentity, const char*, bool> rows[] = {
        {{"Talk", "/Users/a/Talk.key"}, "/Users/a/b/../Talk.key", true},
        {{"Talk", "/Users/a/Talk.key"}, "/users/a/Talk.key", false},
        {{"Talk.key", "/A/Talk.key"}, "/B/Talk.key", false}, // never falls back to the name
        {{"Talk", none}, "/d/talk.KEY", true},
        {{"Café.key", none}, "/d/Cafe.key", true},
        {{"Talk.key.key", none}, "/x/Talk.key", false}, // only one ending is dropped
        {{"Talk", none}, "/x/Talk.keynote", false},
    };
    for (const auto& [identity, otherPath, matches] : rows) {
        const QString path = QString::fromUtf8(otherPath);
        PresentationDeck deck;
        deck.filePath = path;
        deck.fileName = QFileInfo(path).fileName();
        EXPECT_EQ(identity.matches(deck), matches) << otherPath;
        EXPECT_EQ(identity.matches(path), matches) << otherPath;
    }
}

TEST(KeynoteOpenError, MismatchWithoutAPathNamesTheDocument)
{
    EXPECT_EQ(KeynoteOpenError::documentMismatch("/x/Talk.key", "Other", std::nullopt).description(),
              QStringLiteral("Keynote 已返回文稿和页数，但它与所选文件不是同一文件。\n所选：/x/Talk.key\nKeynote：Other"));
}

TEST(KeynoteConnectionState, ReadyTitleNamesTheSlideAndPlayback)
{
    EXPECT_EQ(KeynoteConnectionState::ready(3, 12, true).title(), QStringLiteral("Keynote：第 3 / 12 页 · 放映中"));
    EXPECT_EQ(KeynoteConnectionState::ready(1234, 10000, false).title(),
              QStringLiteral("Keynote：第 1234 / 10000 页 · 编辑中"));
}
