#include "platform/linux/DefaultsFileStore.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace quorvia::platform::native {

namespace {

constexpr quint32 indexMagic = 0x51444631;
constexpr quint32 valueMagic = 0x51445631;
constexpr quint8 inlineValue = 0;
constexpr quint8 separateValue = 1;

const QString separatePrefix = QStringLiteral("value-");
const QString separateSuffix = QStringLiteral(".dat");
const QString temporaryMarker = QStringLiteral(".tmp-");

QString randomHex() { return QString::number(QRandomGenerator::system()->generate64(), 16).rightJustified(16, u'0'); }

bool writeAll(int fd, const QByteArray& bytes)
{
    const char* at = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, at, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        at += n;
        left -= n;
    }
    return true;
}

void syncFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

// The bytes reach the disk under a temporary name and only then take the final
// one, so a reader never meets a partial file. Syncing the folder makes the new
// name itself durable, and with it every rename done in the folder before.
bool writeFileAtomically(const QString& folder, const QString& name, const QByteArray& bytes, bool syncsFolder)
{
    const QByteArray finalPath = QFile::encodeName(folder + u'/' + name);
    const QByteArray temporaryPath = QFile::encodeName(folder + u'/' + name + temporaryMarker + randomHex());
    const int fd = ::open(temporaryPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool written = writeAll(fd, bytes) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temporaryPath.constData(), finalPath.constData()) != 0) {
        ::unlink(temporaryPath.constData());
        return false;
    }
    if (syncsFolder)
        syncFolder(folder);
    return true;
}

std::optional<QByteArray> readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
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
    QVariant value;
    in >> magic >> value;
    if (in.status() != QDataStream::Ok || magic != valueMagic || !in.atEnd() || !value.isValid())
        return std::nullopt;
    return value;
}

bool isSeparateFileName(const QString& name)
{
    return name.startsWith(separatePrefix) && name.endsWith(separateSuffix) && !name.contains(u'/') && !name.contains(temporaryMarker);
}

} // namespace

DefaultsFileStore::DefaultsFileStore(const QString& folder) : folder_(folder) {}

std::optional<QMap<QString, QVariant>> DefaultsFileStore::load()
{
    separate_.clear();
    setAside_.clear();
    keep_.clear();
    const QString indexPath = folder_ + u'/' + indexName;
    if (!QFileInfo(indexPath).exists() && !QFileInfo(indexPath).isSymLink())
        return std::nullopt;

    QMap<QString, QVariant> values;
    QHash<QString, SeparateFile> separate;
    QStringList damaged;
    const auto bytes = readFile(indexPath);
    bool readable = bytes.has_value();
    if (readable) {
        QDataStream in(*bytes);
        in.setVersion(QDataStream::Qt_6_4);
        quint32 magic = 0;
        quint32 count = 0;
        in >> magic >> count;
        readable = in.status() == QDataStream::Ok && magic == indexMagic;
        for (quint32 i = 0; readable && i < count; ++i) {
            QString key;
            quint8 kind = 0;
            in >> key >> kind;
            if (kind == inlineValue) {
                QVariant value;
                in >> value;
                values.insert(key, value);
            } else if (kind == separateValue) {
                QString name;
                in >> name;
                if (in.status() != QDataStream::Ok || !isSeparateFileName(name))
                    readable = false;
                else if (const auto file = readFile(folder_ + u'/' + name); file && decodeValue(*file)) {
                    const QVariant value = *decodeValue(*file);
                    values.insert(key, value);
                    separate.insert(key, {name, value});
                } else {
                    // Present but unusable, so the owner of the key keeps a copy
                    // before it writes anything over it.
                    values.insert(key, QVariant(file.value_or(QByteArray())));
                    damaged.append(name);
                }
            } else {
                readable = false;
            }
            readable = readable && in.status() == QDataStream::Ok;
        }
        readable = readable && in.atEnd();
    }
    if (!readable) {
        // Keep what could not be read for a person to recover; start as if there were no store.
        moveAside(indexName);
        return std::nullopt;
    }
    for (const QString& name : damaged)
        moveAside(name);
    separate_ = std::move(separate);
    return values;
}

void DefaultsFileStore::moveAside(const QString& name)
{
    const QString path = folder_ + u'/' + name;
    if (!QFileInfo(path).exists() && !QFileInfo(path).isSymLink())
        return;
    const QString aside = path + QStringLiteral(".unreadable-") + randomHex();
    if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(aside).constData()) == 0)
        setAside_.append(aside);
    else
        keep_.insert(name);
}

bool DefaultsFileStore::write(const QMap<QString, QVariant>& values)
{
    if (!QDir().mkpath(folder_))
        return false;
    QHash<QString, SeparateFile> next;
    QByteArray index;
    QDataStream out(&index, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    out << indexMagic << static_cast<quint32>(values.size());
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        out << it.key();
        if (!isLarge(it.value())) {
            out << inlineValue << it.value();
            continue;
        }
        QString name;
        const auto known = separate_.constFind(it.key());
        if (known != separate_.cend() && known->value == it.value())
            name = known->name;
        else if (!writeSeparate(it.value(), name))
            return false;
        next.insert(it.key(), {name, it.value()});
        out << separateValue << name;
    }
    if (out.status() != QDataStream::Ok || !writeFileAtomically(folder_, indexName, index, true))
        return false;
    separate_ = std::move(next);
    removeLeftovers(separate_);
    return true;
}

bool DefaultsFileStore::writeSeparate(const QVariant& value, QString& name)
{
    // A new name every time: the index on disk still names the previous file until it is replaced.
    name = separatePrefix + randomHex() + separateSuffix;
    return writeFileAtomically(folder_, name, encodeValue(value), false);
}

void DefaultsFileStore::removeLeftovers(const QHash<QString, SeparateFile>& kept)
{
    QSet<QString> keptNames;
    for (const auto& file : kept)
        keptNames.insert(file.name);
    const QDir dir(folder_);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden)) {
        const bool staleTemporary = name.contains(temporaryMarker);
        if (staleTemporary || (isSeparateFileName(name) && !keptNames.contains(name) && !keep_.contains(name)))
            QFile::remove(dir.filePath(name));
    }
}

} // namespace quorvia::platform::native
