#include "platform/linux/settings/DefaultsFileStore.h"

#include "platform/linux/settings/DefaultsFileFormat.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cerrno>
#include <cstdio>
#include <dirent.h>

namespace quorvia::platform::native {

using namespace defaults_file;

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
    // A folder that is gone or cannot be listed looks empty to what follows.
    readWhole_ = false;
    if (DIR* listed = ::opendir(QFile::encodeName(folder_).constData())) {
        ::closedir(listed);
        readWhole_ = true;
    }
    const QStringList present = QDir(folder_).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : present)
        readWhole_ = readWhole_ && !name.contains(unreadableMarker);
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
    readWhole_ = readWhole_ && damage_.isEmpty();
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
            aside = folder_ + QStringLiteral("/pieces") + unreadableMarker + randomHex();
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
    const QString aside = path + unreadableMarker + randomHex();
    if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(aside).constData()) == 0)
        return aside;
    keep_.insert(name);
    return path;
}

} // namespace quorvia::platform::native
