#include "platform/linux/settings/StoredVariant.h"

#include <QIODevice>

namespace quorvia::platform::native {

namespace {

// Nested deeper than any value of ours, a list is damage, not a reason to run out of stack.
constexpr int deepestNesting = 32;
// The fewest bytes an entry takes: a length, or a variant's type and null flag.
constexpr qint64 leastString = 4;
constexpr qint64 leastVariant = 5;

bool isPlain(quint32 type)
{
    switch (type) {
    case QMetaType::UnknownType:
    case QMetaType::Nullptr:
    case QMetaType::Bool:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Float:
    case QMetaType::Double:
    case QMetaType::QChar:
    case QMetaType::QString:
    case QMetaType::QByteArray:
    case QMetaType::QDate:
    case QMetaType::QTime:
    case QMetaType::QDateTime:
    case QMetaType::QUrl:
    case QMetaType::QUuid:
    case QMetaType::QSize:
    case QMetaType::QSizeF:
    case QMetaType::QPoint:
    case QMetaType::QPointF:
    case QMetaType::QRect:
    case QMetaType::QRectF:
    case QMetaType::QLine:
    case QMetaType::QLineF:
        return true;
    default:
        return false;
    }
}

std::optional<QVariant> readVariant(QDataStream& in, int depth);

// A stored count, when that many entries of at least `least` bytes fit in what is left.
std::optional<quint32> readCount(QDataStream& in, qint64 least)
{
    quint32 count = 0;
    in >> count;
    if (in.status() != QDataStream::Ok || count > in.device()->bytesAvailable() / least)
        return std::nullopt;
    return count;
}

template <typename Entry>
std::optional<Entry> readPlain(QDataStream& in)
{
    Entry entry;
    in >> entry;
    return in.status() == QDataStream::Ok ? std::optional(std::move(entry)) : std::nullopt;
}

template <typename List, typename ReadEntry>
std::optional<QVariant> readList(QDataStream& in, qint64 least, ReadEntry readEntry)
{
    const auto count = readCount(in, least);
    if (!count)
        return std::nullopt;
    List list;
    // Room for the count at once, which the check above keeps within the bytes left.
    list.reserve(*count);
    for (quint32 i = 0; i < *count; ++i) {
        auto entry = readEntry();
        if (!entry)
            return std::nullopt;
        list.append(std::move(*entry));
    }
    return QVariant::fromValue(std::move(list));
}

template <typename Map>
std::optional<QVariant> readMap(QDataStream& in, int depth)
{
    const auto count = readCount(in, leastString + leastVariant);
    if (!count)
        return std::nullopt;
    Map map;
    for (quint32 i = 0; i < *count; ++i) {
        const auto key = readPlain<QString>(in);
        const auto value = key ? readVariant(in, depth + 1) : std::nullopt;
        if (!value)
            return std::nullopt;
        map.insert(*key, *value);
    }
    return QVariant::fromValue(std::move(map));
}

std::optional<QVariant> readVariant(QDataStream& in, int depth)
{
    if (depth > deepestNesting)
        return std::nullopt;
    const qint64 start = in.device()->pos();
    quint32 type = 0;
    qint8 isNull = 0;
    in >> type >> isNull;
    if (in.status() != QDataStream::Ok)
        return std::nullopt;
    switch (type) {
    case QMetaType::QVariantList:
        return readList<QVariantList>(in, leastVariant, [&] { return readVariant(in, depth + 1); });
    case QMetaType::QStringList:
        return readList<QStringList>(in, leastString, [&] { return readPlain<QString>(in); });
    case QMetaType::QByteArrayList:
        return readList<QByteArrayList>(in, leastString, [&] { return readPlain<QByteArray>(in); });
    case QMetaType::QVariantMap:
        return readMap<QVariantMap>(in, depth);
    case QMetaType::QVariantHash:
        return readMap<QVariantHash>(in, depth);
    default:
        break;
    }
    if (!isPlain(type) || !in.device()->seek(start))
        return std::nullopt;
    return readPlain<QVariant>(in);
}

} // namespace

std::optional<QVariant> readStoredVariant(QDataStream& in) { return readVariant(in, 0); }

} // namespace quorvia::platform::native
