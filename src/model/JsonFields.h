#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QUuid>

#include <optional>
#include <vector>

namespace quorvia::json {

// Strict readers of single JSON values: nothing when the type is wrong.
std::optional<qint64> toInteger(const QJsonValue& value);
std::optional<double> toNumber(const QJsonValue& value);
std::optional<QString> toString(const QJsonValue& value);
std::optional<bool> toBool(const QJsonValue& value);
std::optional<QUuid> toUuid(const QJsonValue& value);

// The object of a whole JSON text, or nothing when the text is not one.
std::optional<QJsonObject> parseObject(const QByteArray& data);

// The JSON text of an object. U+FEFF is written as the escape \ufeff, since
// the reader drops it when it comes as raw bytes.
QByteArray encode(const QJsonObject& object, QJsonDocument::JsonFormat format);

QJsonValue fromUuid(const QUuid& id);
// Non-finite numbers have no JSON form; they are written as 0 rather than as a
// null that would make the whole record unreadable later.
QJsonValue fromDouble(double value);

// An array whose every element decodes, or nothing.
template <typename Decode>
auto toArray(const QJsonValue& value, Decode decode) -> std::optional<std::vector<typename decltype(decode(value))::value_type>>
{
    using T = typename decltype(decode(value))::value_type;
    if (!value.isArray())
        return std::nullopt;
    std::vector<T> out;
    const QJsonArray array = value.toArray();
    out.reserve(static_cast<std::size_t>(array.size()));
    for (const QJsonValue& element : array) {
        auto decoded = decode(element);
        if (!decoded)
            return std::nullopt;
        out.push_back(std::move(*decoded));
    }
    return out;
}

// An array whose elements may be null (an absent entry) or decode.
template <typename Decode>
auto toArrayOfOptionals(const QJsonValue& value, Decode decode)
    -> std::optional<std::vector<std::optional<typename decltype(decode(value))::value_type>>>
{
    using T = typename decltype(decode(value))::value_type;
    if (!value.isArray())
        return std::nullopt;
    std::vector<std::optional<T>> out;
    const QJsonArray array = value.toArray();
    out.reserve(static_cast<std::size_t>(array.size()));
    for (const QJsonValue& element : array) {
        if (element.isNull()) {
            out.emplace_back(std::nullopt);
            continue;
        }
        auto decoded = decode(element);
        if (!decoded)
            return std::nullopt;
        out.emplace_back(std::move(*decoded));
    }
    return out;
}

template <typename T, typename Encode>
QJsonArray fromArray(const std::vector<T>& values, Encode encode)
{
    QJsonArray out;
    for (const T& v : values)
        out.append(encode(v));
    return out;
}

template <typename T, typename Encode>
QJsonArray fromArrayOfOptionals(const std::vector<std::optional<T>>& values, Encode encode)
{
    QJsonArray out;
    for (const auto& v : values)
        out.append(v ? QJsonValue(encode(*v)) : QJsonValue(QJsonValue::Null));
    return out;
}

// Reads the members of one object all or nothing: a missing required member or
// a member of the wrong type marks the whole object unreadable. A null counts
// as a missing member. Members the record does not define are ignored.
class Fields {
public:
    explicit Fields(const QJsonValue& value) : object_(value.toObject()), ok_(value.isObject()) {}

    bool ok() const { return ok_; }

    template <typename Decode>
    auto required(const QString& key, Decode decode) -> typename decltype(decode(QJsonValue()))::value_type
    {
        using T = typename decltype(decode(QJsonValue()))::value_type;
        const QJsonValue value = object_.value(key);
        if (value.isUndefined() || value.isNull()) {
            ok_ = false;
            return T{};
        }
        auto decoded = decode(value);
        if (!decoded) {
            ok_ = false;
            return T{};
        }
        return std::move(*decoded);
    }

    template <typename Decode>
    auto optional(const QString& key, Decode decode) -> decltype(decode(QJsonValue()))
    {
        const QJsonValue value = object_.value(key);
        if (value.isUndefined() || value.isNull())
            return std::nullopt;
        auto decoded = decode(value);
        if (!decoded)
            ok_ = false;
        return decoded;
    }

private:
    QJsonObject object_;
    bool ok_;
};

} // namespace quorvia::json
