#include "prompter/TimelineBlockIndex.h"

#include <limits>

namespace quorvia::timeline_block_index {

QByteArray encode(int index)
{
    return QByteArray::number(index);
}

std::optional<int> parse(const QByteArray& value)
{
    if (value.isEmpty())
        return std::nullopt;
    int result = 0;
    for (const char c : value) {
        if (c < '0' || c > '9')
            return std::nullopt;
        const int digit = c - '0';
        if (result > (std::numeric_limits<int>::max() - digit) / 10)
            return std::nullopt;
        result = result * 10 + digit;
    }
    return result;
}

} // namespace quorvia::timeline_block_index
