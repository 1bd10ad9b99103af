#include "model/WholeNumber.h"

#include <limits>

namespace quorvia {

std::optional<qint64> parseWholeNumber(QStringView text)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    // Accumulate towards the negative side, which holds one more value than the positive.
    constexpr qint64 min = std::numeric_limits<qint64>::min();
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const int digit = c - u'0';
        if (value < (min + digit) / 10)
            return std::nullopt;
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == min)
            return std::nullopt;
        value = -value;
    }
    return value;
}

} // namespace quorvia
