#include "platform/settings/DefaultsStore.h"

#include <cmath>

namespace quorvia::platform {

std::optional<QByteArray> DefaultsStore::data(const QString& key) const
{
    auto v = value(key);
    if (!v)
        return std::nullopt;
    if (v->typeId() == QMetaType::QByteArray)
        return v->toByteArray();
    if (v->typeId() == QMetaType::QString)
        return v->toString().toUtf8();
    return std::nullopt;
}

std::optional<QString> DefaultsStore::string(const QString& key) const
{
    auto v = value(key);
    if (!v)
        return std::nullopt;
    switch (v->typeId()) {
    case QMetaType::QString:
        return v->toString();
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Bool:
        return v->toString();
    default:
        return std::nullopt;
    }
}

std::optional<double> DefaultsStore::number(const QString& key) const
{
    auto v = value(key);
    if (!v)
        return std::nullopt;
    bool ok = false;
    double d = 0;
    if (v->typeId() == QMetaType::QString) {
        const QString s = v->toString().trimmed();
        if (s.compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0 || s.compare(QStringLiteral("yes"), Qt::CaseInsensitive) == 0)
            return 1.0;
        if (s.compare(QStringLiteral("false"), Qt::CaseInsensitive) == 0 || s.compare(QStringLiteral("no"), Qt::CaseInsensitive) == 0)
            return 0.0;
        d = s.toDouble(&ok);
    } else if (v->typeId() == QMetaType::Bool) {
        return v->toBool() ? 1.0 : 0.0;
    } else {
        d = v->toDouble(&ok);
    }
    if (!ok || !std::isfinite(d))
        return std::nullopt;
    return d;
}

qint64 DefaultsStore::integer(const QString& key) const
{
    auto d = number(key);
    if (!d)
        return 0;
    if (*d >= 9.2e18 || *d <= -9.2e18)
        return 0;
    return static_cast<qint64>(*d);
}

double DefaultsStore::doubleValue(const QString& key) const { return number(key).value_or(0.0); }

bool DefaultsStore::boolean(const QString& key) const { return number(key).value_or(0.0) != 0.0; }

void DefaultsStore::setDouble(const QString& key, double v)
{
    // A non-finite number cannot be stored faithfully; drop the key instead.
    if (!std::isfinite(v)) {
        remove(key);
        return;
    }
    setValue(key, QVariant(v));
}

} // namespace quorvia::platform
