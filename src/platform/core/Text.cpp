#include "platform/core/Text.h"

#include <QTextBoundaryFinder>

#include <cmath>

namespace quorvia::platform::text {

namespace {
char32_t codePointAt(const QString& s, qsizetype i)
{
    if (s[i].isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate())
        return QChar::surrogateToUcs4(s[i], s[i + 1]);
    return s[i].unicode();
}

char32_t codePointBefore(const QString& s, qsizetype i)
{
    if (s[i - 1].isLowSurrogate() && i >= 2 && s[i - 2].isHighSurrogate())
        return QChar::surrogateToUcs4(s[i - 2], s[i - 1]);
    return s[i - 1].unicode();
}

bool isPictographic(char32_t c)
{
    return (c >= 0x1F000 && c <= 0x1FAFF) || (c >= 0x2600 && c <= 0x27BF) || c == 0x2764;
}

// The boundary finder of some Qt versions breaks inside clusters depending on
// what precedes them (CR LF after some scripts, even surrogate pairs); a break
// the cluster rules forbid is dropped, so no offset ever splits a character.
bool forbidsBreak(const QString& s, qsizetype p)
{
    const QChar before = s[p - 1];
    const QChar after = s[p];
    if (before.isHighSurrogate() && after.isLowSurrogate())
        return true;
    if (before == u'\r' && after == u'\n')
        return true;
    const char32_t prev = codePointBefore(s, p);
    if (prev < 0x20 || prev == 0x7F)
        return false; // controls always end a cluster
    const char32_t next = codePointAt(s, p);
    if (next == 0x200D)
        return true;
    const auto category = QChar::category(next);
    if (category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining || category == QChar::Mark_Enclosing)
        return true;
    return prev == 0x200D && isPictographic(next);
}
} // namespace

QList<int> graphemeBoundaries(const QString& s)
{
    QList<int> bounds;
    bounds.append(0);
    if (s.isEmpty())
        return bounds;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, s);
    finder.toStart();
    while (finder.toNextBoundary() != -1) {
        const auto p = finder.position();
        if (p > 0 && p < s.size() && forbidsBreak(s, p))
            continue;
        bounds.append(static_cast<int>(p));
    }
    if (bounds.last() != s.size())
        bounds.append(static_cast<int>(s.size()));
    return bounds;
}

int graphemeCount(const QString& s) { return static_cast<int>(graphemeBoundaries(s).size()) - 1; }

QStringList graphemes(const QString& s)
{
    const auto bounds = graphemeBoundaries(s);
    QStringList out;
    out.reserve(bounds.size());
    for (int i = 0; i + 1 < bounds.size(); ++i)
        out.append(s.mid(bounds[i], bounds[i + 1] - bounds[i]));
    return out;
}

QString graphemePrefix(const QString& s, int count)
{
    if (count <= 0)
        return QString();
    const auto bounds = graphemeBoundaries(s);
    if (count >= bounds.size() - 1)
        return s;
    return s.left(bounds[count]);
}

bool isNewline(char32_t c)
{
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

bool isWhitespace(char32_t c)
{
    return c == 0x09 || QChar::category(c) == QChar::Separator_Space;
}

bool isWhitespaceOrNewline(char32_t c) { return isWhitespace(c) || isNewline(c); }

namespace {
// Walks code points in place, so lone surrogates survive untouched.
template <typename Pred>
QString trimmedBy(const QString& s, Pred pred)
{
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end) {
        const char32_t c = codePointAt(s, begin);
        if (!pred(c))
            break;
        begin += QChar::requiresSurrogates(c) ? 2 : 1;
    }
    while (end > begin) {
        const char32_t c = codePointBefore(s, end);
        if (!pred(c))
            break;
        end -= QChar::requiresSurrogates(c) ? 2 : 1;
    }
    return s.mid(begin, end - begin);
}
} // namespace

QString trimmedWhitespace(const QString& s) { return trimmedBy(s, isWhitespace); }
QString trimmedWhitespaceAndNewlines(const QString& s) { return trimmedBy(s, isWhitespaceOrNewline); }

bool isBlank(const QString& s) { return trimmedWhitespaceAndNewlines(s).isEmpty(); }

bool canonicallyEqual(const QString& a, const QString& b)
{
    return a.normalized(QString::NormalizationForm_C) == b.normalized(QString::NormalizationForm_C);
}

QString foldCaseAndDiacritics(const QString& s)
{
    // Canonical decomposition only: widths and compatibility forms stay distinct.
    const QString decomposed = s.normalized(QString::NormalizationForm_D);
    QString out;
    out.reserve(decomposed.size());
    for (QChar c : decomposed) {
        const auto cat = c.category();
        if (cat == QChar::Mark_NonSpacing || cat == QChar::Mark_SpacingCombining || cat == QChar::Mark_Enclosing)
            continue;
        out.append(c);
    }
    return out.toCaseFolded().normalized(QString::NormalizationForm_C);
}

int compareCaseDiacriticInsensitive(const QString& a, const QString& b)
{
    return foldCaseAndDiacritics(a).compare(foldCaseAndDiacritics(b));
}

int localizedStandardCompare(const QString& a, const QString& b)
{
    const QString x = foldCaseAndDiacritics(a);
    const QString y = foldCaseAndDiacritics(b);
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < x.size() && j < y.size()) {
        if (x[i].isDigit() && y[j].isDigit()) {
            qsizetype i2 = i;
            qsizetype j2 = j;
            while (i2 < x.size() && x[i2].isDigit())
                ++i2;
            while (j2 < y.size() && y[j2].isDigit())
                ++j2;
            // Compare digit runs by value without overflow: strip leading zeros, then length, then text.
            QString ra = x.mid(i, i2 - i);
            QString rb = y.mid(j, j2 - j);
            while (ra.size() > 1 && ra[0] == u'0')
                ra.remove(0, 1);
            while (rb.size() > 1 && rb[0] == u'0')
                rb.remove(0, 1);
            if (ra.size() != rb.size())
                return ra.size() < rb.size() ? -1 : 1;
            const int c = ra.compare(rb);
            if (c != 0)
                return c < 0 ? -1 : 1;
            i = i2;
            j = j2;
            continue;
        }
        if (x[i] != y[j])
            return x[i] < y[j] ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < x.size())
        return 1;
    if (j < y.size())
        return -1;
    return 0;
}

double roundHalfAwayFromZero(double v) { return std::round(v); }

} // namespace quorvia::platform::text
