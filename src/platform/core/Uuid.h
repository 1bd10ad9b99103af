#pragma once

#include <QString>
#include <QUuid>

#include <optional>

namespace quorvia::platform {

QUuid newUuid();
// 36 characters, upper-case hex, no braces.
QString uuidString(const QUuid& id);
// Accepts either case; refuses braces and any other form.
std::optional<QUuid> parseUuid(const QString& text);

} // namespace quorvia::platform
