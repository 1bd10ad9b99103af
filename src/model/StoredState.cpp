#include "model/StoredState.h"

#include "model/JsonFields.h"

#include <QJsonDocument>

namespace quorvia {

QByteArray StoredState::toJson() const
{
    const QJsonObject object{
        {QStringLiteral("activeProjectID"), json::fromUuid(activeProjectID)},
        {QStringLiteral("projects"), json::fromArray(projects, [](const StoredProject& p) { return p.toJson(); })},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<StoredState> StoredState::fromJson(const QByteArray& data)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    json::Fields fields(document.object());
    StoredState state;
    state.activeProjectID = fields.required(QStringLiteral("activeProjectID"), json::toUuid);
    state.projects = fields.required(QStringLiteral("projects"), [](const QJsonValue& v) { return json::toArray(v, StoredProject::fromJson); });
    if (!fields.ok())
        return std::nullopt;
    return state;
}

} // namespace quorvia
