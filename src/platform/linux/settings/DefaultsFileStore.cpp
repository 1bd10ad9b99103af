#include "platform/linux/settings/DefaultsFileStore.h"

#include "platform/linux/settings/DefaultsFileFormat.h"
#include "platform/linux/settings/StoredVariant.h"

#include <QDataStream>

namespace quorvia::platform::native {

using namespace defaults_file;

DefaultsFileStore::DefaultsFileStore(const QString& folder, qsizetype piecewiseFrom) : folder_(folder), piecewiseFrom_(piecewiseFrom) {}

std::optional<QByteArray> DefaultsFileStore::readPieces(const std::vector<Piece>& pieces) const
{
    qsizetype total = 0;
    for (const Piece& piece : pieces)
        total += piece.length;
    if (total > maximumValueBytes)
        return std::nullopt;
    QByteArray value;
    value.reserve(total);
    for (const Piece& piece : pieces) {
        const StoredFile file = readStoredFile(folder_ + u'/' + piece.name, piece.length);
        if (file.state != StoredFile::State::read || file.bytes.size() != piece.length)
            return std::nullopt;
        value += file.bytes;
    }
    return value;
}

std::optional<QString> DefaultsFileStore::keyOfFileName(const QString& name)
{
    if (!isSeparateFileName(name))
        return std::nullopt;
    const QString middle = name.mid(separatePrefix.size(), name.size() - separatePrefix.size() - separateSuffix.size());
    const qsizetype dash = middle.lastIndexOf(u'-');
    if (dash <= 0 || dash % 2 != 0)
        return std::nullopt;
    const QByteArray hex = middle.left(dash).toLatin1();
    const QByteArray utf8 = QByteArray::fromHex(hex);
    if (utf8.toHex() != hex)
        return std::nullopt;
    const QString key = QString::fromUtf8(utf8);
    if (key.toUtf8() != utf8)
        return std::nullopt;
    return key;
}

std::optional<DefaultsFileStore::Index> DefaultsFileStore::readIndex(const QString& name) const
{
    const StoredFile file = readStoredFile(folder_ + u'/' + name, maximumIndexBytes);
    if (file.state != StoredFile::State::read)
        return std::nullopt;
    QDataStream in(file.bytes);
    in.setVersion(QDataStream::Qt_6_4);
    quint32 magic = 0;
    quint32 count = 0;
    in >> magic >> count;
    if (in.status() != QDataStream::Ok || magic != indexMagic)
        return std::nullopt;
    Index index;
    for (quint32 i = 0; i < count; ++i) {
        const qint64 entryStart = in.device()->pos();
        Index::Entry entry;
        quint8 kind = 0;
        in >> entry.key >> kind;
        if (in.status() != QDataStream::Ok)
            return std::nullopt;
        if (entry.key == digestKey && kind == inlineValue) {
            const auto digest = readStoredVariant(in);
            // Only as the last entry; one an earlier writer carried along elsewhere is dropped.
            if (!digest || (i + 1 == count && digest->toByteArray() != digestOf(QByteArrayView(file.bytes).first(entryStart))))
                return std::nullopt;
            continue;
        }
        if (kind == inlineValue) {
            entry.inlineValue = readStoredVariant(in);
            if (!entry.inlineValue)
                return std::nullopt;
        } else if (kind == separateValue) {
            in >> entry.fileName;
            const auto named = keyOfFileName(entry.fileName);
            if (!isSeparateFileName(entry.fileName) || (named && *named != entry.key))
                return std::nullopt;
        } else {
            return std::nullopt;
        }
        if (in.status() != QDataStream::Ok)
            return std::nullopt;
        index.entries.push_back(std::move(entry));
    }
    if (!in.atEnd())
        return std::nullopt;
    return index;
}

} // namespace quorvia::platform::native
