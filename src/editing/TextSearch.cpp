#include "editing/TextSearch.h"

namespace quorvia::text_search {

std::vector<Match> findAll(const QString& text, const QString& query)
{
    std::vector<Match> found;
    if (query.isEmpty())
        return found;
    qsizetype from = 0;
    while (from <= text.size()) {
        const qsizetype at = text.indexOf(query, from, Qt::CaseInsensitive);
        if (at < 0)
            break;
        found.push_back({int(at), int(query.size())});
        from = at + query.size();
    }
    return found;
}

std::optional<std::size_t> step(const std::vector<Match>& matches, int selectionStart, int selectionEnd, bool forward)
{
    if (matches.empty())
        return std::nullopt;
    if (forward) {
        for (std::size_t i = 0; i < matches.size(); ++i)
            if (matches[i].start >= selectionEnd)
                return i;
        return 0;
    }
    for (std::size_t i = matches.size(); i-- > 0;)
        if (matches[i].end() <= selectionStart)
            return i;
    return matches.size() - 1;
}

std::optional<std::size_t> nearest(const std::vector<Match>& matches, int selectionStart)
{
    if (matches.empty())
        return std::nullopt;
    for (std::size_t i = 0; i < matches.size(); ++i)
        if (matches[i].start >= selectionStart)
            return i;
    return 0;
}

} // namespace quorvia::text_search
