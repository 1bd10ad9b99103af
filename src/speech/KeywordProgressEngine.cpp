#include "speech/KeywordProgressEngine.h"

#include "speech/SpokenText.h"

#include "platform/core/Text.h"

#include <QSet>

#include <algorithm>
#include <cmath>
#include <vector>

namespace quorvia {

namespace {

bool isSeparator(QChar c)
{
    static const QString separators = QString::fromUtf8("，。！？；：,.!?;:\n\t");
    return separators.contains(c);
}

// Compared under canonical equivalence.
QString key(const QString& phrase) { return phrase.normalized(QString::NormalizationForm_C); }

std::vector<int> characterIds(const QString& compactText, spokentext::CharacterTable& table)
{
    std::vector<int> ids;
    const QList<int> bounds = platform::text::graphemeBoundaries(compactText);
    ids.reserve(static_cast<std::size_t>(bounds.size()));
    for (qsizetype i = 0; i + 1 < bounds.size(); ++i)
        ids.push_back(table.idOf(QStringView(compactText).mid(bounds[i], bounds[i + 1] - bounds[i])));
    return ids;
}

} // namespace

QStringList KeywordProgressEngine::candidatePhrases(const QString& text)
{
    QStringList out;
    qsizetype pieceStart = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !isSeparator(text[i]))
            continue;
        const QString piece = spokentext::compact(text.mid(pieceStart, i - pieceStart));
        pieceStart = i + 1;
        const QList<int> bounds = platform::text::graphemeBoundaries(piece);
        const int n = static_cast<int>(bounds.size()) - 1;
        if (n < 2)
            continue;
        if (n <= 8) {
            out.append(piece);
            continue;
        }
        const int step = std::max(2, std::min(5, n / 3));
        const int length = std::min(6, step + 2);
        for (int start = 0; start + 2 <= n; start += step) {
            const int end = std::min(n, start + length);
            out.append(piece.mid(bounds[start], bounds[end] - bounds[start]));
        }
    }
    return out;
}

QStringList KeywordProgressEngine::keywords(const QString& sectionText, const QStringList& excluding)
{
    QSet<QString> excluded;
    for (const QString& text : excluding) {
        for (const QString& phrase : candidatePhrases(text))
            excluded.insert(key(phrase));
    }
    const QStringList candidates = candidatePhrases(sectionText);
    QStringList filtered;
    for (const QString& phrase : candidates) {
        if (!excluded.contains(key(phrase)))
            filtered.append(phrase);
    }
    // A section whose phrases all occur elsewhere still gets keywords.
    const QStringList& source = filtered.isEmpty() ? candidates : filtered;

    QStringList chosen;
    QSet<QString> taken;
    for (const QString& phrase : source) {
        if (chosen.size() >= maximumKeywords)
            break;
        const QString k = key(phrase);
        if (taken.contains(k))
            continue;
        taken.insert(k);
        chosen.append(phrase);
    }
    return chosen;
}

KeywordEvaluation KeywordProgressEngine::evaluate(const QString& recognizedText, const QStringList& keywords)
{
    if (keywords.isEmpty())
        return {0.0, 0, 1};
    spokentext::CharacterTable table;
    const std::vector<int> speech = characterIds(spokentext::compact(recognizedText), table);
    int matched = 0;
    for (const QString& keyword : keywords) {
        const std::vector<int> wanted = characterIds(spokentext::compact(keyword), table);
        // Whole characters only: a keyword never matches part of a character.
        // A keyword with nothing to say cannot have been said.
        if (!wanted.empty() && std::search(speech.begin(), speech.end(), wanted.begin(), wanted.end()) != speech.end())
            ++matched;
    }
    const int k = static_cast<int>(keywords.size());
    const int required = std::min(3, std::max(2, static_cast<int>(std::ceil(k * 0.5))));
    return {static_cast<double>(matched) / k, matched, required};
}

} // namespace quorvia
