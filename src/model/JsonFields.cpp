#include "model/JsonFields.h"

#include "platform/core/Uuid.h"

#include <QJsonDocument>

#include <cmath>

namespace quorvia::json {

std::optional<qint64> toInteger(const QJsonValue& value)
{
    if (!value.isDouble())
        return std::nullopt;
    // Two different fallbacks tell an integral value apart from one that is not.
    const qint64 a = value.toInteger(0);
    const qint64 b = value.toInteger(1);
    if (a != b)
        return std::nullopt;
    return a;
}

std::optional<double> toNumber(const QJsonValue& value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double d = value.toDouble();
    if (!std::isfinite(d))
        return std::nullopt;
    return d;
}

std::optional<QString> toString(const QJsonValue& value)
{
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

std::optional<bool> toBool(const QJsonValue& value)
{
    if (!value.isBool())
        return std::nullopt;
    return value.toBool();
}

std::optional<QUuid> toUuid(const QJsonValue& value)
{
    if (!value.isString())
        return std::nullopt;
    return platform::parseUuid(value.toString());
}

std::optional<QJsonObject> parseObject(const QByteArray& data)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

QByteArray encode(const QJsonObject& object, QJsonDocument::JsonFormat format)
{
    static const QByteArray byteOrderMark("\xEF\xBB\xBF");
    QByteArray bytes = QJsonDocument(object).toJson(format);
    if (bytes.contains(byteOrderMark))
        bytes.replace(byteOrderMark, "\\ufeff");
    return bytes;
}

QJsonValue fromUuid(const QUuid& id) { return platform::uuidString(id); }

QJsonValue fromDouble(double value) { return std::isfinite(value) ? value : 0.0; }

} // namespace quorvia::json
