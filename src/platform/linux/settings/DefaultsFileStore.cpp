#include "platform/linux/settings/DefaultsFileStore.h"

#include "platform/files/AtomicFileWrite.h"
#include "platform/files/BoundedFileRead.h"
#include "platform/files/FileDescriptor.h"
#include "platform/linux/settings/StoredVariant.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvia::platform::native {

namespace {

constexpr quint32 indexMagic = 0x51444631;
constexpr quint32 valueMagic = 0x51445631;
constexpr quint32 piecewiseMagic = 0x51445031;
constexpr quint8 inlineValue = 0;
constexpr quint8 separateValue = 1;

const QString separatePrefix = QStringLiteral("value-");
const QString separateSuffix = QStringLiteral(".dat");
const QString temporaryMarker = QString::fromLatin1(atomicWriteTemporaryMarker);
const QString piecePrefix = QStringLiteral("piece-");
// The index's last entry, under a key no caller can use, holds a digest of the
// bytes before it: one stray byte anywhere makes the index unreadable rather
// than naming a wrong file. An earlier reader takes it for one more value.
const QString digestKey = QStringLiteral("\u0000index-digest");

QByteArray digestOf(QByteArrayView bytes) { return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).left(16); }

// What reading one stored file found.
struct StoredFile {
    enum class State { read, missing, odd, unreadable } state = State::missing;
    QByteArray bytes;
};

// Never waits (a FIFO), reads only plain files (not a device behind a link)
// and never more than the bound (a file that grows while it is read).
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

// A new name every time: the index on disk still names the previous file
// until it is replaced. The name carries the key, for when no index does.
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

bool isPieceFileName(const QString& name);

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

qsizetype commonPrefix(const QByteArray& a, const QByteArray& b)
{
    const qsizetype limit = std::min(a.size(), b.size());
    constexpr qsizetype block = 4096;
    qsizetype at = 0;
    while (at + block <= limit && std::memcmp(a.constData() + at, b.constData() + at, block) == 0)
        at += block;
    while (at < limit && a[at] == b[at])
        ++at;
    return at;
}

qsizetype commonSuffix(const QByteArray& a, const QByteArray& b, qsizetype limit)
{
    constexpr qsizetype block = 4096;
    qsizetype length = 0;
    while (length + block <= limit
           && std::memcmp(a.constData() + a.size() - length - block, b.constData() + b.size() - length - block, block) == 0)
        length += block;
    while (length < limit && a[a.size() - length - 1] == b[b.size() - length - 1])
        ++length;
    return length;
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

// What a load has read so far.
struct DefaultsFileStore::Loading {
    QMap<QString, QVariant> values;
    QHash<QString, SeparateFile> separate;
    // Value files the index names.
    QSet<QString> named;
    // Keys whose named file was not there, with its path.
    QMap<QString, QString> missing;
    bool piecesIncomplete = false;
};

std::optional<QMap<QString, QVariant>> DefaultsFileStore::load()
{
    separate_.clear();
    keep_.clear();
    damage_ = {};
    damage_.folder = folder_;
    const QStringList present = QDir(folder_).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    QStringList valueFiles;
    for (const QString& name : present)
        if (isSeparateFileName(name))
            valueFiles.append(name);

    std::optional<Index> index = readIndex(indexName);
    const bool indexIntact = index.has_value();
    if (!indexIntact) {
        index = setIndexAsideForItsCopy(present);
        if (!index && damage_.setAside.isEmpty() && valueFiles.isEmpty())
            return std::nullopt; // a first start
        damage_.index = index ? DefaultsStoreDamage::Index::restoredFromCopy : DefaultsStoreDamage::Index::lost;
    }

    Loading loading;
    if (index)
        readIndexedValues(*index, loading);
    if (!indexIntact || !loading.missing.isEmpty())
        recoverValuesTheIndexLost(valueFiles, loading);
    damage_.missing = loading.missing.values();
    if (!indexIntact || !loading.missing.isEmpty() || loading.piecesIncomplete)
        setAsidePiecesNoValueNames(present, loading.separate);
    separate_ = std::move(loading.separate);
    if (!index && loading.values.isEmpty())
        return std::nullopt;
    return std::move(loading.values);
}

std::optional<DefaultsFileStore::Index> DefaultsFileStore::setIndexAsideForItsCopy(const QStringList& present)
{
    if (present.contains(indexName))
        damage_.setAside.append(moveAside(indexName));
    std::optional<Index> copy = readIndex(indexCopyName);
    if (!copy && present.contains(indexCopyName))
        damage_.setAside.append(moveAside(indexCopyName));
    return copy;
}

void DefaultsFileStore::readIndexedValues(const Index& index, Loading& loading)
{
    for (const Index::Entry& entry : index.entries) {
        if (entry.inlineValue) {
            loading.values.insert(entry.key, *entry.inlineValue);
            continue;
        }
        loading.named.insert(entry.fileName);
        readValueFile(entry.key, entry.fileName, loading);
    }
}

bool DefaultsFileStore::readValueFile(const QString& key, const QString& name, Loading& loading)
{
    const StoredFile file = readStoredFile(folder_ + u'/' + name, maximumValueBytes);
    if (file.state == StoredFile::State::read) {
        if (const auto value = decodeValue(file.bytes)) {
            loading.values.insert(key, *value);
            loading.separate.insert(key, {name, *value, {}});
            return true;
        }
        if (const auto pieces = decodePieceList(file.bytes)) {
            std::vector<Piece> list;
            for (const auto& [pieceName, length] : *pieces)
                list.push_back({pieceName, length});
            if (const auto value = readPieces(list)) {
                loading.values.insert(key, QVariant(*value));
                loading.separate.insert(key, {name, QVariant(*value), list});
                return true;
            }
            // Its pieces are kept with the others no value accounts for.
            loading.piecesIncomplete = true;
            damage_.setAside.append(moveAside(name));
            return false;
        }
        // Present but unusable, so the owner of the key keeps a copy
        // before it writes anything over it.
        loading.values.insert(key, QVariant(file.bytes));
    }
    if (file.state == StoredFile::State::missing)
        loading.missing.insert(key, folder_ + u'/' + name);
    else
        damage_.setAside.append(moveAside(name));
    return false;
}

void DefaultsFileStore::recoverValuesTheIndexLost(const QStringList& valueFiles, Loading& loading)
{
    // Without the index itself, or with one that names files no longer
    // there, a value file it does not name may hold a value it lost: it is
    // never swept. The newest file of a key nothing else gave is taken;
    // every other one is moved aside.
    const QDir dir(folder_);
    QMap<QString, QStringList> byKey;
    for (const QString& name : valueFiles) {
        if (loading.named.contains(name))
            continue;
        const auto key = keyOfFileName(name);
        if (key && !loading.values.contains(*key))
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
            if (!taken && readValueFile(it.key(), name, loading)) {
                taken = true;
                damage_.recovered.append(it.key());
                loading.missing.remove(it.key());
            } else if (!taken) {
                continue; // moved aside as damaged already
            } else {
                damage_.unaccounted.append(moveAside(name));
            }
        }
    }
}

void DefaultsFileStore::setAsidePiecesNoValueNames(const QStringList& present, const QHash<QString, SeparateFile>& separate)
{
    // Pieces no value names are leftovers of a write cut short, unless
    // anything was amiss: then they may be all that is left of a value, and
    // go aside together, into one folder.
    QSet<QString> used;
    for (const SeparateFile& file : separate)
        for (const Piece& piece : file.pieces)
            used.insert(piece.name);
    QString aside;
    for (const QString& name : present) {
        if (!isPieceFileName(name) || used.contains(name))
            continue;
        if (aside.isEmpty()) {
            aside = folder_ + QStringLiteral("/pieces.unreadable-") + randomHex();
            if (!QDir().mkdir(aside)) {
                aside = folder_;
                damage_.unaccounted.append(folder_ + u'/' + piecePrefix + u'*');
            } else {
                damage_.unaccounted.append(aside);
            }
        }
        if (aside == folder_ || !QFile::rename(folder_ + u'/' + name, aside + u'/' + name))
            keep_.insert(name);
    }
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

std::expected<void, std::error_code> DefaultsFileStore::write(const QMap<QString, QVariant>& values)
{
    // A write that fails before its index is in place takes its new files
    // with it at once: no index names them, and on a full disk every retry
    // would otherwise eat the room the speaker frees.
    written_.clear();
    auto result = writeValuesAndIndex(values);
    if (!result && !indexReplaced_)
        for (const QString& name : written_)
            ::unlink(QFile::encodeName(folder_ + u'/' + name).constData());
    written_.clear();
    return result;
}

std::expected<void, std::error_code> DefaultsFileStore::writeValuesAndIndex(const QMap<QString, QVariant>& values)
{
    indexReplaced_ = false;
    if (!QDir().mkpath(folder_)) {
        // For the reason: the first folder of the path that is not there says
        // why it cannot be made; those below it would only find it missing.
        QString first = QDir::cleanPath(folder_);
        for (QString parent = QFileInfo(first).path(); parent != first && !QFileInfo::exists(parent);
             parent = QFileInfo(first).path())
            first = parent;
        if (::mkdir(QFile::encodeName(first).constData(), 0700) != 0 && errno != EEXIST)
            return std::unexpected(lastError());
        return std::unexpected(std::make_error_code(std::errc::not_a_directory));
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
        const auto known = separate_.constFind(it.key());
        SeparateFile file;
        if (known != separate_.cend() && known->value == it.value()) {
            file = *known;
        } else if (it.value().typeId() == QMetaType::QByteArray && it.value().toByteArray().size() >= piecewiseFrom_) {
            if (auto written = writePiecewise(it.key(), it.value().toByteArray(), known != separate_.cend() ? &*known : nullptr, file);
                !written)
                return written;
        } else {
            file.value = it.value();
            if (auto written = writeSeparate(it.key(), it.value(), file.name); !written)
                return written;
        }
        out << separateValue << file.name;
        next.insert(it.key(), std::move(file));
    }
    const QByteArray digest = digestOf(index);
    out << digestKey << inlineValue << QVariant(digest);
    if (out.status() != QDataStream::Ok)
        return std::unexpected(std::make_error_code(std::errc::io_error));
    if (auto written = writeFileAtomically(folder_, indexName, index, false); !written)
        return written;
    indexReplaced_ = true;
    // The copy names the same files, so the index may be lost without a value.
    if (auto written = writeFileAtomically(folder_, indexCopyName, index, true); !written)
        return written;
    separate_ = std::move(next);
    removeLeftovers(separate_);
    return {};
}

std::expected<void, std::error_code> DefaultsFileStore::writeSeparate(const QString& key, const QVariant& value, QString& name)
{
    name = separateFileName(key);
    auto done = writeFileAtomically(folder_, name, encodeValue(value), false);
    if (done)
        written_.append(name);
    return done;
}

std::expected<void, std::error_code> DefaultsFileStore::writePiecewise(const QString& key, const QByteArray& value, const SeparateFile* previous,
                                                           SeparateFile& written)
{
    std::vector<Piece> head;
    std::vector<Piece> tail;
    qsizetype start = 0;
    qsizetype end = value.size();
    if (previous && !previous->pieces.empty()) {
        // Pieces wholly inside the unchanged start or end are kept as they are.
        const QByteArray old = previous->value.toByteArray();
        const qsizetype prefix = commonPrefix(old, value);
        const qsizetype suffix = commonSuffix(old, value, std::min(old.size(), value.size()) - prefix);
        std::size_t first = 0;
        while (first < previous->pieces.size() && start + previous->pieces[first].length <= prefix)
            head.push_back(previous->pieces[first]), start += previous->pieces[first++].length;
        std::size_t last = previous->pieces.size();
        qsizetype kept = 0;
        while (last > first && kept + previous->pieces[last - 1].length <= suffix)
            kept += previous->pieces[--last].length;
        tail.assign(previous->pieces.begin() + static_cast<std::ptrdiff_t>(last), previous->pieces.end());
        end = value.size() - kept;
    }
    written.pieces = std::move(head);
    const qsizetype changed = end - start;
    const qsizetype count = changed <= 0 ? 0 : (changed + pieceBytes - 1) / pieceBytes;
    for (qsizetype i = 0; i < count; ++i) {
        const qsizetype from = start + changed * i / count;
        const qsizetype to = start + changed * (i + 1) / count;
        const QString name = piecePrefix + randomHex() + separateSuffix;
        if (auto done = writeFileAtomically(folder_, name, QByteArray::fromRawData(value.constData() + from, to - from), false); !done)
            return done;
        written_.append(name);
        written.pieces.push_back({name, to - from});
    }
    written.pieces.insert(written.pieces.end(), tail.begin(), tail.end());
    std::vector<std::pair<QString, qsizetype>> list;
    for (const Piece& piece : written.pieces)
        list.emplace_back(piece.name, piece.length);
    written.value = QVariant(value);
    written.name = separateFileName(key);
    auto done = writeFileAtomically(folder_, written.name, encodePieceList(list), false);
    if (done)
        written_.append(written.name);
    return done;
}

void DefaultsFileStore::removeLeftovers(const QHash<QString, SeparateFile>& kept)
{
    QSet<QString> keptNames;
    for (const auto& file : kept) {
        keptNames.insert(file.name);
        for (const Piece& piece : file.pieces)
            keptNames.insert(piece.name);
    }
    const QDir dir(folder_);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden)) {
        const bool staleTemporary = name.contains(temporaryMarker);
        if (staleTemporary
            || ((isSeparateFileName(name) || isPieceFileName(name)) && !keptNames.contains(name) && !keep_.contains(name)))
            QFile::remove(dir.filePath(name));
    }
}

} // namespace quorvia::platform::native
