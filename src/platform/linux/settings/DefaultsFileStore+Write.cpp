#include "platform/linux/settings/DefaultsFileStore.h"

#include "platform/files/AtomicFileWrite.h"
#include "platform/files/FileDescriptor.h"
#include "platform/linux/settings/DefaultsFileFormat.h"

#include <QDataStream>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvia::platform::native {

using namespace defaults_file;

namespace {

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
