#include "platform/linux/settings/DefaultsFileFormat.h"

#include "platform/files/BoundedFileRead.h"
#include "platform/linux/settings/StoredVariant.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QFile>

#include <cerrno>
#include <sys/stat.h>

namespace quorvia::platform::native::defaults_file {

QByteArray digestOf(QByteArrayView bytes) { return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).left(16); }

StoredFile readStoredFile(const QString& path, qint64 bound)
{
    auto read = readBoundedFile(path, bound);
    switch (read.outcome) {
    case BoundedFileRead::Outcome::read:
        return {StoredFile::State::read, std::move(read.bytes)};
    case BoundedFileRead::Outcome::missing: {
        // A link that leads nowhere is there, just not a file to read.
        struct stat link {};
        const bool dangling = read.error == ENOENT && ::lstat(QFile::encodeName(path).constData(), &link) == 0;
        return {dangling ? StoredFile::State::odd : StoredFile::State::missing, {}};
    }
    case BoundedFileRead::Outcome::notRegular:
    case BoundedFileRead::Outcome::tooLarge:
        return {StoredFile::State::odd, {}};
    case BoundedFileRead::Outcome::failed:
        break;
    }
    return {StoredFile::State::unreadable, {}};
}

QString separateFileName(const QString& key)
{
    const QString keyed = separatePrefix + QString::fromLatin1(key.toUtf8().toHex()) + u'-' + randomHex() + separateSuffix;
    return QFile::encodeName(keyed).size() <= 200 ? keyed : separatePrefix + randomHex() + separateSuffix;
}

bool isLarge(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::QByteArray:
        return value.toByteArray().size() >= DefaultsFileStore::separateFileThreshold;
    case QMetaType::QString:
        return value.toString().size() * 2 >= DefaultsFileStore::separateFileThreshold;
    default:
        return false;
    }
}

QByteArray encodeValue(const QVariant& value)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    out << valueMagic << value;
    return bytes;
}

std::optional<QVariant> decodeValue(const QByteArray& bytes)
{
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_4);
    quint32 magic = 0;
    in >> magic;
    if (in.status() != QDataStream::Ok || magic != valueMagic)
        return std::nullopt;
    const auto value = readStoredVariant(in);
    if (!value || !in.atEnd() || !value->isValid())
        return std::nullopt;
    return value;
}

QByteArray encodePieceList(const std::vector<std::pair<QString, qsizetype>>& pieces)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    out << piecewiseMagic << static_cast<quint32>(pieces.size());
    for (const auto& [name, length] : pieces)
        out << name << static_cast<qint64>(length);
    return bytes;
}

std::optional<std::vector<std::pair<QString, qsizetype>>> decodePieceList(const QByteArray& bytes)
{
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_4);
    quint32 magic = 0;
    quint32 count = 0;
    in >> magic >> count;
    if (in.status() != QDataStream::Ok || magic != piecewiseMagic || count > bytes.size())
        return std::nullopt;
    std::vector<std::pair<QString, qsizetype>> pieces;
    for (quint32 i = 0; i < count; ++i) {
        QString name;
        qint64 length = 0;
        in >> name >> length;
        if (in.status() != QDataStream::Ok || !isPieceFileName(name) || length < 0 || length > DefaultsFileStore::maximumValueBytes)
            return std::nullopt;
        pieces.emplace_back(name, static_cast<qsizetype>(length));
    }
    if (!in.atEnd())
        return std::nullopt;
    return pieces;
}

bool isSeparateFileName(const QString& name)
{
    return name.startsWith(separatePrefix) && name.endsWith(separateSuffix) && !name.contains(u'/') && !name.contains(temporaryMarker);
}

bool isPieceFileName(const QString& name)
{
    return name.startsWith(piecePrefix) && name.endsWith(separateSuffix) && !name.contains(u'/') && !name.contains(temporaryMarker);
}

} // namespace quorvia::platform::native::defaults_file
