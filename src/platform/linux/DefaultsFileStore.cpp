#include "platform/linux/DefaultsFileStore.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
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
// The index's last entry, under a key no caller can use, holds a digest of the
// bytes before it: one stray byte anywhere makes the index unreadable rather
// than naming a wrong file. An earlier reader takes it for one more value.
const QString digestKey = QStringLiteral("\u0000index-digest");

QByteArray digestOf(QByteArrayView bytes) { return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).left(16); }

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
std::expected<void, int> writeFileAtomically(const QString& folder, const QString& name, const QByteArray& bytes, bool syncsFolder)
{
    const QByteArray finalPath = QFile::encodeName(folder + u'/' + name);
    const QByteArray temporaryPath = QFile::encodeName(folder + u'/' + name + temporaryMarker + randomHex());
    const int fd = ::open(temporaryPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return std::unexpected(errno);
    int error = 0;
    if (!writeAll(fd, bytes) || ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporaryPath.constData(), finalPath.constData()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporaryPath.constData());
        return std::unexpected(error);
    }
    if (syncsFolder)
        syncFolder(folder);
    return {};
}

// What reading one stored file found.
struct StoredFile {
    enum class State { read, missing, odd, unreadable } state = State::missing;
    QByteArray bytes;
};

// Never waits (a FIFO), reads only plain files (not a device behind a link)
// and never more than the bound (a file that grows while it is read).
StoredFile readStoredFile(const QString& path, qint64 bound)
{
    const QByteArray encoded = QFile::encodeName(path);
    const int fd = ::open(encoded.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        struct stat link {};
        if (error == ENOENT || error == ENOTDIR)
            // A link that leads nowhere is there, just not a file to read.
            return {::lstat(encoded.constData(), &link) == 0 ? StoredFile::State::odd : StoredFile::State::missing, {}};
        return {error == ELOOP || error == ENXIO ? StoredFile::State::odd : StoredFile::State::unreadable, {}};
    }
    StoredFile result;
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        result.state = StoredFile::State::unreadable;
    } else if (!S_ISREG(status.st_mode) || status.st_size > bound) {
        result.state = StoredFile::State::odd;
    } else {
        result.state = StoredFile::State::read;
        result.bytes.resize(static_cast<qsizetype>(status.st_size) + 1);
        qsizetype filled = 0;
        for (;;) {
            if (filled == result.bytes.size()) {
                if (filled > bound) {
                    result.state = StoredFile::State::odd;
                    break;
                }
                result.bytes.resize(std::min<qsizetype>(bound + 1, filled * 2 + 4096));
            }
            const ssize_t n = ::read(fd, result.bytes.data() + filled, static_cast<size_t>(result.bytes.size() - filled));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                result.state = StoredFile::State::unreadable;
                break;
            }
            if (n == 0)
                break;
            filled += n;
        }
        if (result.state == StoredFile::State::read && filled > bound)
            result.state = StoredFile::State::odd;
        result.bytes.truncate(result.state == StoredFile::State::read ? filled : 0);
    }
    ::close(fd);
    return result;
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

struct DefaultsFileStore::Index {
    struct Entry {
        QString key;
        std::optional<QVariant> inlineValue;
        QString fileName;
    };
    std::vector<Entry> entries;
};

DefaultsFileStore::DefaultsFileStore(const QString& folder) : folder_(folder) {}

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
        if (entry.key == digestKey && kind == inlineValue) {
            QVariant digest;
            in >> digest;
            // Only as the last entry; one an earlier writer carried along elsewhere is dropped.
            if (i + 1 == count && digest.toByteArray() != digestOf(QByteArrayView(file.bytes).first(entryStart)))
                return std::nullopt;
            continue;
        }
        if (kind == inlineValue) {
            QVariant value;
            in >> value;
            entry.inlineValue = value;
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

std::optional<QMap<QString, QVariant>> DefaultsFileStore::load()
{
    separate_.clear();
    keep_.clear();
    damage_ = {};
    damage_.folder = folder_;
    const QDir dir(folder_);
    const QStringList present = dir.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    const auto isPresent = [&](const QString& name) { return present.contains(name); };
    QStringList valueFiles;
    for (const QString& name : present)
        if (isSeparateFileName(name))
            valueFiles.append(name);

    std::optional<Index> index = readIndex(indexName);
    const bool indexIntact = index.has_value();
    if (!indexIntact) {
        if (isPresent(indexName))
            damage_.setAside.append(moveAside(indexName));
        index = readIndex(indexCopyName);
        if (index)
            damage_.index = DefaultsStoreDamage::Index::restoredFromCopy;
        else if (isPresent(indexCopyName))
            damage_.setAside.append(moveAside(indexCopyName));
        if (!index && damage_.setAside.isEmpty() && valueFiles.isEmpty())
            return std::nullopt; // a first start
        if (!index)
            damage_.index = DefaultsStoreDamage::Index::lost;
    }

    QMap<QString, QVariant> values;
    QHash<QString, SeparateFile> separate;
    QSet<QString> named;
    QMap<QString, QString> missing;
    const auto readValueFile = [&](const QString& key, const QString& name) {
        const StoredFile file = readStoredFile(folder_ + u'/' + name, maximumValueBytes);
        if (file.state == StoredFile::State::read) {
            if (const auto value = decodeValue(file.bytes)) {
                values.insert(key, *value);
                separate.insert(key, {name, *value});
                return true;
            }
            // Present but unusable, so the owner of the key keeps a copy
            // before it writes anything over it.
            values.insert(key, QVariant(file.bytes));
        }
        if (file.state == StoredFile::State::missing)
            missing.insert(key, folder_ + u'/' + name);
        else
            damage_.setAside.append(moveAside(name));
        return false;
    };
    if (index) {
        for (const Index::Entry& entry : index->entries) {
            if (entry.inlineValue) {
                values.insert(entry.key, *entry.inlineValue);
                continue;
            }
            named.insert(entry.fileName);
            readValueFile(entry.key, entry.fileName);
        }
    }
    if (!indexIntact || !missing.isEmpty()) {
        // Without the index itself, or with one that names files no longer
        // there, a value file it does not name may hold a value it lost: it is
        // never swept. The newest file of a key nothing else gave is taken;
        // every other one is moved aside.
        QMap<QString, QStringList> byKey;
        for (const QString& name : valueFiles) {
            if (named.contains(name))
                continue;
            const auto key = keyOfFileName(name);
            if (key && !values.contains(*key))
                byKey[*key].append(name);
            else
                damage_.unaccounted.append(moveAside(name));
        }
        for (auto it = byKey.begin(); it != byKey.end(); ++it) {
            std::sort(it->begin(), it->end(), [&](const QString& a, const QString& b) {
                return QFileInfo(dir.filePath(a)).lastModified() > QFileInfo(dir.filePath(b)).lastModified();
            });
            bool taken = false;
            for (const QString& name : *it) {
                if (!taken && readValueFile(it.key(), name)) {
                    taken = true;
                    damage_.recovered.append(it.key());
                    missing.remove(it.key());
                } else if (!taken) {
                    continue; // moved aside as damaged already
                } else {
                    damage_.unaccounted.append(moveAside(name));
                }
            }
        }
    }
    damage_.missing = missing.values();
    separate_ = std::move(separate);
    if (!index && values.isEmpty())
        return std::nullopt;
    return values;
}

QString DefaultsFileStore::moveAside(const QString& name)
{
    const QString path = folder_ + u'/' + name;
    const QString aside = path + QStringLiteral(".unreadable-") + randomHex();
    if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(aside).constData()) == 0)
        return aside;
    keep_.insert(name);
    return path;
}

std::expected<void, int> DefaultsFileStore::write(const QMap<QString, QVariant>& values)
{
    if (!QDir().mkpath(folder_)) {
        // For the reason: the one step that fails again says why.
        const int error = ::mkdir(QFile::encodeName(folder_).constData(), 0700) == 0 ? 0 : errno;
        return std::unexpected(error == 0 || error == EEXIST ? ENOTDIR : error);
    }
    QHash<QString, SeparateFile> next;
    QByteArray index;
    QDataStream out(&index, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    out << indexMagic << static_cast<quint32>(values.size() + 1);
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
        else if (auto written = writeSeparate(it.key(), it.value(), name); !written)
            return written;
        next.insert(it.key(), {name, it.value()});
        out << separateValue << name;
    }
    const QByteArray digest = digestOf(index);
    out << digestKey << inlineValue << QVariant(digest);
    if (out.status() != QDataStream::Ok)
        return std::unexpected(EIO);
    if (auto written = writeFileAtomically(folder_, indexName, index, false); !written)
        return written;
    // The copy names the same files, so the index may be lost without a value.
    if (auto written = writeFileAtomically(folder_, indexCopyName, index, true); !written)
        return written;
    separate_ = std::move(next);
    removeLeftovers(separate_);
    return {};
}

std::expected<void, int> DefaultsFileStore::writeSeparate(const QString& key, const QVariant& value, QString& name)
{
    // A new name every time: the index on disk still names the previous file
    // until it is replaced. The name carries the key, for when no index does.
    const QString keyed = separatePrefix + QString::fromLatin1(key.toUtf8().toHex()) + u'-' + randomHex() + separateSuffix;
    name = QFile::encodeName(keyed).size() <= 200 ? keyed : separatePrefix + randomHex() + separateSuffix;
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
