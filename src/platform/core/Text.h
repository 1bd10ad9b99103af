#pragma once

#include <QString>
#include <QStringList>

namespace quorvia::platform::text {

// Length in UTF-16 code units; offsets everywhere are in these units.
inline int utf16Length(const QString& s) { return static_cast<int>(s.size()); }

// User-perceived characters (grapheme clusters).
int graphemeCount(const QString& s);
QStringList graphemes(const QString& s);
// The first `count` user-perceived characters, never splitting one.
QString graphemePrefix(const QString& s, int count);
// UTF-16 offsets of each grapheme boundary, starting with 0 and ending with s.size().
QList<int> graphemeBoundaries(const QString& s);

// Horizontal whitespace: category Zs plus the tab.
bool isWhitespace(char32_t c);
// Whitespace plus the newlines U+000A..U+000D, U+0085, U+2028 and U+2029.
bool isWhitespaceOrNewline(char32_t c);
bool isNewline(char32_t c);

QString trimmedWhitespace(const QString& s);
QString trimmedWhitespaceAndNewlines(const QString& s);
bool isBlank(const QString& s); // only whitespace and newlines

// Equality under canonical equivalence.
bool canonicallyEqual(const QString& a, const QString& b);
// Ignoring case and diacritics (ASCII folding of decomposed letters).
QString foldCaseAndDiacritics(const QString& s);
int compareCaseDiacriticInsensitive(const QString& a, const QString& b);
// Case-insensitive, digit runs compared by value ("Proj 2" < "Proj 10").
int localizedStandardCompare(const QString& a, const QString& b);

double roundHalfAwayFromZero(double v);

} // namespace quorvia::platform::text
