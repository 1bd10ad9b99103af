#pragma once

#include "platform/Text.h"

#include <QHash>
#include <QString>

#include <vector>

namespace quorvia {

// The character rules shared by the speech engines: text is read as
// user-perceived characters, each lower-cased on its own, and only characters
// holding a letter, mark or number take part.
namespace spokentext {

// Lower-cases one character with the full Unicode mapping. Done per character
// so that every position still refers to the text as passed in, even where a
// lower-case form has another UTF-16 length (U+0130).
QString lowered(QStringView character);

// True when at least one scalar is a letter, mark or number.
bool isKept(QStringView character);
bool isKeptCategory(QChar::Category category);

// Code units that form a character on their own whose lower-case form is one
// code unit already in composed form (ASCII, Latin-1, CJK ideographs, Hangul).
inline bool isSimpleUnit(char16_t c)
{
    return (c < 0x0300 && c != 0x0130) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF)
        || (c >= 0xAC00 && c <= 0xD7A3);
}

// Calls fn(loweredCharacter, utf16Offset) for each kept character in text
// order; the offset is where the character begins in the text as passed in.
template <typename Fn>
void forEachKept(const QString& text, Fn&& fn)
{
    if (text.isEmpty())
        return;
    const QList<int> bounds = platform::text::graphemeBoundaries(text);
    for (qsizetype i = 0; i + 1 < bounds.size(); ++i) {
        const int start = bounds[i];
        const int length = bounds[i + 1] - start;
        const char16_t first = text[start].unicode();
        if (length == 1 && isSimpleUnit(first)) {
            const char16_t lower = QChar::toLower(first);
            if (isKeptCategory(QChar::category(lower)))
                fn(QStringView(&lower, 1), start);
            continue;
        }
        const QString lower = lowered(QStringView(text).mid(start, length));
        if (isKept(lower))
            fn(QStringView(lower), start);
    }
}

// The kept, lower-cased characters of a text, one string per character.
QStringList keptCharacters(const QString& text);

// The kept, lower-cased characters joined into one string.
QString compact(const QString& text);

// Gives canonically equivalent characters one shared number, so that matching
// compares integers. Ids hold only within one table.
class CharacterTable {
public:
    int idOf(QStringView loweredCharacter);

private:
    QHash<QString, int> ids_;
    int next_ = 0x110000; // above every scalar, which stands for itself
};

} // namespace spokentext
} // namespace quorvia
