#include "editing/CloudAIConfiguration.h"

#include <algorithm>

namespace quorvia {

bool CloudAIConfiguration::isUsableToken(const QString& token)
{
    return !token.isEmpty() && std::none_of(token.begin(), token.end(), [](QChar c) {
        return c.unicode() < 0x20 || c.unicode() == 0x7F;
    });
}

} // namespace quorvia
