#pragma once

#include "speech/KeywordEvaluation.h"

#include <QString>
#include <QStringList>

namespace quorvia {

// Picks a section's key phrases and counts how many of them were said.
class KeywordProgressEngine {
public:
    KeywordProgressEngine() = delete;

    static constexpr int maximumKeywords = 6;

    // At most six distinct phrases in compact form, in the order they occur in
    // the section, avoiding phrases that the excluded texts also yield.
    static QStringList keywords(const QString& sectionText, const QStringList& excluding);
    static KeywordEvaluation evaluate(const QString& recognizedText, const QStringList& keywords);

    // The section's phrases before choosing: whole short clauses and
    // overlapping windows over long ones, duplicates kept.
    static QStringList candidatePhrases(const QString& text);
};

} // namespace quorvia
