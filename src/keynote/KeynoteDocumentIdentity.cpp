#include "keynote/KeynoteDocumentIdentity.h"

#include "model/FilePaths.h"
#include "model/PresentationDeck.h"
#include "platform/core/Text.h"

namespace quorvia {

bool KeynoteDocumentIdentity::matches(const PresentationDeck& deck) const
{
    return matches(deck.filePath, deck.fileName);
}

bool KeynoteDocumentIdentity::matches(const QString& fileURLPath) const
{
    return matches(fileURLPath, paths::lastPathComponent(fileURLPath));
}

bool KeynoteDocumentIdentity::matches(const QString& otherPath, const QString& otherName) const
{
    if (filePath)
        return paths::standardized(*filePath) == paths::standardized(otherPath);
    return platform::text::compareCaseDiacriticInsensitive(keynoteDocumentStem(name), keynoteDocumentStem(otherName))
        == 0;
}

QString KeynoteDocumentIdentity::keynoteDocumentStem(const QString& nameOrPath)
{
    const QString component = paths::lastPathComponent(nameOrPath);
    if (component.endsWith(QStringLiteral(".key"), Qt::CaseInsensitive))
        return component.chopped(4);
    return component;
}

} // namespace quorvia
