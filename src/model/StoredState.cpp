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
    return json::encode(object, QJsonDocument::Compact);
}

std::optional<StoredState> StoredState::fromJson(const QByteArray& data)
{
    const auto object = json::parseObject(data);
    if (!object)
        return std::nullopt;
    json::Fields fields(*object);
    StoredState state;
    state.activeProjectID = fields.required(QStringLiteral("activeProjectID"), json::toUuid);
    state.projects = fields.required(QStringLiteral("projects"), [](const QJsonValue& v) { return json::toArray(v, StoredProject::fromJson); });
    if (!fields.ok())
        return std::nullopt;
    return state;
}

} // namespace quorvia
