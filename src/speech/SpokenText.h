#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

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

// Character boundaries of text[begin, end), whose two ends are boundaries;
// offsets count from the start of text and include begin and end.
QList<int> boundariesBetween(const QString& text, int begin, int end);

// Code units that never join a neighbour into one character when the
// neighbour is one of them too: no marks, joiners, jamo, prepend characters
// or surrogates. Most Chinese text, its punctuation and ASCII are such units.
inline bool isPlainUnit(char16_t c)
{
    return c < 0x0300 || (c >= 0x2010 && c <= 0x2027) || (c >= 0x2030 && c <= 0x205E) || (c >= 0x3000 && c <= 0x3029)
        || (c >= 0x3030 && c <= 0x303F) || (c >= 0x3041 && c <= 0x3096) || (c >= 0x309B && c <= 0x30FF)
        || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7A3)
        || (c >= 0xFF01 && c <= 0xFF9D);
}

// Calls fn(start, length) for each user-perceived character in text order.
// Two plain code units in a row always have a character boundary between
// them (carriage return and line feed aside), so the boundary finder only
// runs over the stretches around anything else; for Chinese text that is rare.
template <typename Fn>
void forEachCharacter(const QString& text, Fn&& fn)
{
    const qsizetype n = text.size();
    const auto breaksAfter = [&](qsizetype i) {
        const char16_t c = text[i].unicode();
        return c != u'\r' && isPlainUnit(c) && (i + 1 == n || isPlainUnit(text[i + 1].unicode()));
    };
    qsizetype i = 0;
    while (i < n) {
        if (breaksAfter(i)) {
            fn(static_cast<int>(i), 1);
            ++i;
            continue;
        }
        qsizetype end = i + 1;
        while (end < n && !breaksAfter(end - 1))
            ++end;
        const QList<int> bounds = boundariesBetween(text, static_cast<int>(i), static_cast<int>(end));
        for (qsizetype b = 0; b + 1 < bounds.size(); ++b)
            fn(bounds[b], bounds[b + 1] - bounds[b]);
        i = end;
    }
}

// Calls fn(loweredCharacter, utf16Offset) for each kept character in text
// order; the offset is where the character begins in the text as passed in.
template <typename Fn>
void forEachKept(const QString& text, Fn&& fn)
{
    forEachCharacter(text, [&](int start, int length) {
        const char16_t first = text[start].unicode();
        // One code unit lower-cases to one, U+0130 alone excepted.
        if (length == 1 && !QChar::isSurrogate(first) && first != 0x0130) {
            const char16_t lower = QChar::toLower(first);
            if (isKeptCategory(QChar::category(lower)))
                fn(QStringView(&lower, 1), start);
            return;
        }
        const QString lower = lowered(QStringView(text).mid(start, length));
        if (isKept(lower))
            fn(QStringView(lower), start);
    });
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
