#include "speech/SpeechAlignmentEngine.h"

#include "speech/SpokenText.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace quorvia {

namespace {

constexpr int matchScore = 3;
constexpr int mismatchScore = -2;
constexpr int gapScore = -2;

enum Move : std::uint8_t { stop = 0, diagonal = 1, up = 2, left = 3 };

// Kept characters of a text as numbers from one table, with the UTF-16 offset
// at which each begins in the text as passed in.
struct NormalizedText {
    std::vector<int> characters;
    std::vector<int> originalOffsets;
    int originalUTF16Length = 0;
};

NormalizedText normalize(const QString& text, spokentext::CharacterTable& table)
{
    NormalizedText out;
    out.originalUTF16Length = static_cast<int>(text.size());
    out.characters.reserve(static_cast<std::size_t>(text.size()));
    out.originalOffsets.reserve(static_cast<std::size_t>(text.size()));
    spokentext::forEachKept(text, [&](QStringView character, int offset) {
        out.characters.push_back(table.idOf(character));
        out.originalOffsets.push_back(offset);
    });
    return out;
}

// Index of the last kept character beginning at or before offset; 0 when none does.
int normalizedIndex(int offset, const NormalizedText& text)
{
    const auto& offsets = text.originalOffsets;
    if (offsets.empty())
        return 0;
    const auto after = std::upper_bound(offsets.begin(), offsets.end(), offset);
    return std::max(0, static_cast<int>(after - offsets.begin()) - 1);
}

} // namespace

SpeechAlignmentResult SpeechAlignmentEngine::align(const QString& recognizedText, const QString& sectionText,
                                                   int previousProgressUTF16)
{
    const int previous = previousProgressUTF16;
    spokentext::CharacterTable table;
    const NormalizedText speech = normalize(recognizedText, table);
    const NormalizedText section = normalize(sectionText, table);
    if (speech.characters.size() < 3 || section.characters.empty())
        return {previous, 0.0, 0, false};

    const int speechCount = static_cast<int>(speech.characters.size());
    const int sectionCount = static_cast<int>(section.characters.size());
    const int* query = speech.characters.data() + std::max(0, speechCount - queryLength);
    const int rows = std::min(speechCount, queryLength);

    const int anchor = normalizedIndex(previous, section);
    const int windowStart = std::max(0, anchor - windowBefore);
    const int windowEnd = std::min(sectionCount, anchor + windowAfter);
    const int* window = section.characters.data() + windowStart;
    const int columns = windowEnd - windowStart;

    const int stride = columns + 1;
    std::vector<int> score(static_cast<std::size_t>(rows + 1) * stride, 0);
    std::vector<std::uint8_t> move(score.size(), stop);
    int bestScore = 0;
    int bestRow = 0;
    int bestColumn = 0;
    for (int i = 1; i <= rows; ++i) {
        const int q = query[i - 1];
        const int* above = score.data() + static_cast<std::size_t>(i - 1) * stride;
        int* here = score.data() + static_cast<std::size_t>(i) * stride;
        std::uint8_t* moves = move.data() + static_cast<std::size_t>(i) * stride;
        for (int j = 1; j <= columns; ++j) {
            const int diag = above[j - 1] + (q == window[j - 1] ? matchScore : mismatchScore);
            const int fromUp = above[j] + gapScore;
            const int fromLeft = here[j - 1] + gapScore;
            const int best = std::max({0, diag, fromUp, fromLeft});
            here[j] = best;
            if (best == 0)
                moves[j] = stop;
            else if (best == diag)
                moves[j] = diagonal;
            else if (best == fromUp)
                moves[j] = up;
            else
                moves[j] = left;
            // Strictly greater: among equal scores the earliest cell wins, so a
            // repeated phrase is placed on its earlier occurrence.
            if (best > bestScore) {
                bestScore = best;
                bestRow = i;
                bestColumn = j;
            }
        }
    }

    int matched = 0;
    int steps = 0;
    for (int i = bestRow, j = bestColumn; i > 0 && j > 0;) {
        const std::uint8_t m = move[static_cast<std::size_t>(i) * stride + j];
        if (m == stop)
            break;
        ++steps;
        if (m == diagonal) {
            if (query[i - 1] == window[j - 1])
                ++matched;
            --i;
            --j;
        } else if (m == up) {
            --i;
        } else {
            --j;
        }
    }
    const double confidence
        = std::clamp(static_cast<double>(matched) / std::max(1, std::min(rows, steps)), 0.0, 1.0);

    const int end = std::min(sectionCount, windowStart + bestColumn);
    const int candidate = end < sectionCount ? section.originalOffsets[end] : section.originalUTF16Length;
    const long long jump = static_cast<long long>(candidate) - previous;
    const bool accepted = jump <= shortJumpLimit ? (confidence >= 0.48 && matched >= 3)
                                                 : (confidence >= 0.72 && matched >= 8);
    const int progress = std::min(accepted ? std::max(previous, candidate) : previous, section.originalUTF16Length);
    return {progress, confidence, matched, accepted && jump > jumpForwardThreshold};
}

} // namespace quorvia
