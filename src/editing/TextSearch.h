#pragma once

#include <QString>

#include <optional>
#include <vector>

namespace quorvia::text_search {

// A found occurrence, in UTF-16 offsets of the searched text.
struct Match {
    int start = 0;
    int length = 0;
    int end() const { return start + length; }
    friend bool operator==(const Match&, const Match&) = default;
};

// Every occurrence of the query, left to right and not overlapping; letter
// case is ignored. An empty query finds nothing.
std::vector<Match> findAll(const QString& text, const QString& query);

// The match to go to from a selection [selectionStart, selectionEnd): forward,
// the first that starts at or after its end; backward, the last that ends at
// or before its start. Past either end it wraps round. None without matches.
std::optional<std::size_t> step(const std::vector<Match>& matches, int selectionStart, int selectionEnd, bool forward);

// While the query is typed: the first match that starts at or after the
// selection's start, so a growing query keeps the occurrence it found; wraps.
std::optional<std::size_t> nearest(const std::vector<Match>& matches, int selectionStart);

} // namespace quorvia::text_search
