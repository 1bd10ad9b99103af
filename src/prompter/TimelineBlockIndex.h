#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace quorvia {

// The value a dragged timeline card carries: its block index as a decimal string.
namespace timeline_block_index {

inline const QString& mimeType()
{
    static const QString type = QStringLiteral("com.local.quorvia.timeline-block");
    return type;
}

QByteArray encode(int index);
// Only a whole string of ASCII digits that fits an int is an index; a sign,
// spaces, other characters or an overflow give none.
std::optional<int> parse(const QByteArray& value);

} // namespace timeline_block_index
} // namespace quorvia
