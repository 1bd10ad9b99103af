#pragma once

#include <QStringView>

#include <optional>

namespace quorvia {

// A label or key that reads as a whole number: an optional "+" or "-", then one
// or more ASCII digits and nothing else, fitting a signed 64-bit integer.
std::optional<qint64> parseWholeNumber(QStringView text);

} // namespace quorvia
