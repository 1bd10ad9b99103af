#include "platform/core/Uuid.h"

namespace quorvia::platform {

QUuid newUuid() { return QUuid::createUuid(); }

QString uuidString(const QUuid& id) { return id.toString(QUuid::WithoutBraces).toUpper(); }

std::optional<QUuid> parseUuid(const QString& text)
{
    if (text.size() != 36)
        return std::nullopt;
    const QUuid id = QUuid::fromString(text);
    if (id.isNull() && text != QStringLiteral("00000000-0000-0000-0000-000000000000"))
        return std::nullopt;
    return id;
}

} // namespace quorvia::platform
