#include "model/StagingFolder.h"

#include "platform/files/AtomicFileWrite.h"
#include "platform/files/BoundedFileRead.h"
#include "platform/files/ProcessStamp.h"
#include "platform/files/TreeRemoval.h"
#include "platform/core/Uuid.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvia {

using platform::FileDescriptor;
using platform::lastError;

namespace {

const QString stagingPrefix = QStringLiteral(".QuorviaBackup-");
constexpr char recordName[] = "export.json";
constexpr char packageName[] = "package";
constexpr char previousName[] = "previous";
const QString recordKind = QStringLiteral("com.local.quorvia.backup-export");
// Making the folder and naming its record takes moments; a folder that has
// waited a day for its record belongs to an export long gone.
constexpr time_t unrecordedAge = 24 * 60 * 60;

std::optional<StagingFolder::Identity> identityAt(int folderFd, const char* name)
{
    struct stat status {};
    if (::fstatat(folderFd, name, &status, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    return StagingFolder::Identity(status.st_dev, status.st_ino);
}

bool exists(int folderFd, const char* name) { return identityAt(folderFd, name).has_value(); }

// Who is writing a staging folder, and for which package.
struct Record {
    platform::ProcessStamp writer;
    std::string destination;
    // The package built, once the renames that put it under the destination's
    // name may have begun: from then on an item here that is not it is the
    // old package.
    std::optional<StagingFolder::Identity> placing;

    QByteArray encoded() const
    {
        QJsonObject json{
            {"kind", recordKind},
            {"destination", QString::fromLatin1(QByteArray::fromStdString(destination).toBase64())},
            {"machine", writer.machine},
            {"boot", writer.boot},
            {"pid", writer.pid},
            {"started", QString::number(writer.started)},
            {"pidNamespace", QString::number(writer.pidNamespace)},
        };
        if (placing) {
            json.insert("packageDevice", QString::number(placing->first));
            json.insert("packageInode", QString::number(placing->second));
        }
        return QJsonDocument(json).toJson();
    }

    // The record in the folder open at `folderFd`, if one of ours is there.
    static std::optional<Record> readFrom(int folderFd)
    {
        const FileDescriptor file = platform::openForReadingAt(folderFd, recordName);
        if (!file.isOpen())
            return std::nullopt;
        const platform::BoundedFileRead read = platform::readBounded(file.get(), 16 * 1024);
        const QJsonObject json = read.ok() ? QJsonDocument::fromJson(read.bytes).object() : QJsonObject();
        if (json.value("kind").toString() != recordKind)
            return std::nullopt;
        Record record;
        record.destination = QByteArray::fromBase64(json.value("destination").toString().toLatin1()).toStdString();
        record.writer.machine = json.value("machine").toString();
        record.writer.boot = json.value("boot").toString();
        record.writer.pid = json.value("pid").toInteger();
        bool startedOk = false;
        bool namespaceOk = false;
        record.writer.started = json.value("started").toString().toULongLong(&startedOk);
        record.writer.pidNamespace = json.value("pidNamespace").toString().toULongLong(&namespaceOk);
        if (json.contains("packageDevice") || json.contains("packageInode")) {
            bool deviceOk = false;
            bool inodeOk = false;
            record.placing = StagingFolder::Identity(json.value("packageDevice").toString().toULongLong(&deviceOk),
                                                     json.value("packageInode").toString().toULongLong(&inodeOk));
            if (!deviceOk || !inodeOk)
                return std::nullopt;
        }
        const std::string& name = record.destination;
        if (!startedOk || !namespaceOk || record.writer.pid <= 0 || record.writer.boot.isEmpty() || name.empty()
            || name == "." || name == ".." || name.find('/') != std::string::npos || name.find('\0') != std::string::npos)
            return std::nullopt;
        return record;
    }
};

// Writes this process's record of the export into the folder open at `folderFd`.
// Where the kernel will not say who this process is, the record names no
// writer, and what the export leaves is never taken for abandoned.
std::expected<void, std::error_code> writeRecord(int folderFd, const std::string& destination,
                                                 std::optional<StagingFolder::Identity> placing)
{
    const Record record{platform::ProcessStamp::ofThisProcess().value_or(platform::ProcessStamp{}), destination, placing};
    return platform::writeFileAtomically(folderFd, recordName, record.encoded(), false);
}

// `name` in `fromFd` becomes `to` in `toFd`, never over an item already there.
bool renameWithoutReplacing(int fromFd, const char* name, int toFd, const char* to)
{
    if (::renameat2(fromFd, name, toFd, to, RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return false;
    // Not offered by this file system: look first.
    if (exists(toFd, to)) {
        errno = EEXIST;
        return false;
    }
    return ::renameat(fromFd, name, toFd, to) == 0;
}

bool isStagingName(const std::string& name)
{
    const QString text = QFile::decodeName(QByteArray::fromStdString(name));
    return text.startsWith(stagingPrefix) && platform::parseUuid(text.mid(stagingPrefix.size())).has_value();
}

// Each folder under a staging name in the folder open at `folderFd` that is
// this user's and lies on that folder's own mount (a drive or a bind mount
// under a staging name is not ours to judge), opened, with what it is.
void forEachStagingFolder(int folderFd, const std::function<void(const std::string& name, int stagingFd, const struct stat& status)>& visit)
{
    const auto mount = platform::mountIdOf(folderFd);
    for (const std::string& name : platform::entryNames(folderFd).value_or(std::vector<std::string>())) {
        // The name only narrows the search; what the folder holds decides.
        if (!mount || !isStagingName(name))
            continue;
        struct stat status {};
        if (::fstatat(folderFd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(status.st_mode)
            || status.st_uid != ::geteuid())
            continue;
        const FileDescriptor staging = platform::openFolderAt(folderFd, name.c_str());
        struct stat opened {};
        if (staging.isOpen() && ::fstat(staging.get(), &opened) == 0 && opened.st_dev == status.st_dev
            && opened.st_ino == status.st_ino && platform::mountIdOf(staging.get()) == mount)
            visit(name, staging.get(), status);
    }
}

// Empties the folder open at `folderFd` and removes it from under `name` in
// the folder open at `parentFd`, unless another item took that name meanwhile.
void removeFolder(int parentFd, const std::string& name, int folderFd, const StagingFolder::Identity& identity)
{
    platform::removeTreeContents(folderFd);
    if (identityAt(parentFd, name.c_str()) == identity)
        ::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR);
}

} // namespace

StagingFolder::StagingFolder(int parentFd, std::string destination)
    : parentFd_(parentFd),
      destination_(std::move(destination)),
      name_(QFile::encodeName(stagingPrefix + platform::uuidString(platform::newUuid())).toStdString())
{
}

StagingFolder::~StagingFolder()
{
    if (!folder_.isOpen())
        return;
    // An old package that could not be put back waits here, with the record,
    // for an export after this process to return it.
    if (keepsOldPackage_)
        return;
    // Through the descriptor: what is in it goes even when the folder itself
    // was moved away from its name.
    removeFolder(parentFd_, name_, folder_.get(), *identity_);
}

std::error_code StagingFolder::create()
{
    if (::mkdirat(parentFd_, name_.c_str(), 0700) != 0)
        return lastError();
    if (onStep)
        onStep(Step::folderMade);
    FileDescriptor folder = platform::openFolderAt(parentFd_, name_.c_str());
    if (!folder.isOpen())
        return lastError();
    struct stat status {};
    if (::fstat(folder.get(), &status) != 0)
        return lastError();
    // Another user's folder swapped in meanwhile is not ours to fill, nor to empty.
    if (status.st_uid != ::geteuid())
        return std::make_error_code(std::errc::permission_denied);
    folder_ = std::move(folder);
    identity_ = Identity(status.st_dev, status.st_ino);
    // Our new folder's time is the drive's own clock now.
    removeUnrecorded(status.st_mtim);
    // A drive without Unix modes (FAT, NTFS, a network share) shows every
    // folder open whatever is asked; where modes are kept, ours is private.
    if ((status.st_mode & 077) != 0)
        ::fchmod(folder_.get(), 0700);
    if (auto written = writeRecord(folder_.get(), destination_, std::nullopt); !written)
        return written.error();
    auto package = platform::makeFolderAt(folder_.get(), packageName, false);
    if (!package)
        return package.error();
    package_ = std::move(*package);
    if (::fstat(package_.get(), &status) != 0)
        return lastError();
    packageIdentity_ = Identity(status.st_dev, status.st_ino);
    return {};
}

std::expected<void, ProjectBackupFailure> StagingFolder::putInPlace()
{
    // Whatever was put in place must be the package built, or the export did not happen.
    const QString tampered = QStringLiteral("导出时所选文件夹中的备份被他人改动，未写入备份");
    if (identityAt(folder_.get(), packageName) != packageIdentity_)
        return std::unexpected(ProjectBackupError::refused(tampered));
    // Before any rename the record names the package built and, with this
    // folder and its name, is on the drive: after a power cut the sweep tells
    // the old package from the new one by it.
    if (auto written = writeRecord(folder_.get(), destination_, packageIdentity_); !written)
        return std::unexpected(written.error());
    if (!platform::syncFolder(folder_.get()) || !platform::syncFolder(parentFd_))
        return std::unexpected(lastError());

    const char* destination = destination_.c_str();
    const char* old = nullptr; // where the old package went, in this folder
    if (!exists(parentFd_, destination)) {
        if (!renameWithoutReplacing(folder_.get(), packageName, parentFd_, destination))
            return std::unexpected(lastError());
    } else if (::renameat2(folder_.get(), packageName, parentFd_, destination, RENAME_EXCHANGE) == 0) {
        old = packageName;
    } else {
        if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
            return std::unexpected(lastError());
        // No atomic exchange on this file system: the old package is set
        // aside inside this folder first, where the record keeps it from loss.
        if (::renameat(parentFd_, destination, folder_.get(), previousName) != 0)
            return std::unexpected(lastError());
        old = previousName;
        if (onStep)
            onStep(Step::previousSetAside);
        if (::renameat(folder_.get(), packageName, parentFd_, destination) != 0) {
            const std::error_code error = lastError();
            putBack(previousName);
            return std::unexpected(error);
        }
    }
    if (onStep)
        onStep(Step::renamed);
    // The new name reaches the drive before the old package may go.
    if (!platform::syncFolder(parentFd_) || !platform::syncFolder(folder_.get()))
        return std::unexpected(lastError());
    if (identityAt(parentFd_, destination) != packageIdentity_) {
        // Moved away by someone else: the new package stays wherever it went,
        // and nothing is emptied.
        const QString moved = QStringLiteral("导出的备份刚放到所选位置就被他人移走或改名，新备份留在了它被移到的地方");
        return std::unexpected(ProjectBackupError::refused(old ? moved + putBack(old) : moved));
    }
    placed_ = true;
    return {};
}

QString StagingFolder::putBack(const char* name)
{
    if (renameWithoutReplacing(folder_.get(), name, parentFd_, destination_.c_str())) {
        platform::syncFolder(parentFd_);
        return QStringLiteral("；原来的备份已放回原处");
    }
    keepsOldPackage_ = true;
    return QStringLiteral("；原来的名称已被占用，原来的备份暂存在同一文件夹中，名称空出后下次导出到这里时放回");
}

void StagingFolder::removeUnrecorded(const struct timespec& now) const
{
    forEachStagingFolder(parentFd_, [&](const std::string& name, int staging, const struct stat& status) {
        if (name == name_ || status.st_mtim.tv_sec > now.tv_sec - unrecordedAge)
            return;
        // Nothing in it but what writing the record began with.
        const auto names = platform::entryNames(staging);
        const std::string unfinished = std::string(recordName) + platform::atomicWriteTemporaryMarker;
        if (names && std::all_of(names->begin(), names->end(), [&](const std::string& entry) { return entry.starts_with(unfinished); }))
            removeFolder(parentFd_, name, staging, Identity(status.st_dev, status.st_ino));
    });
}

void StagingFolder::sweepLeftovers(int folderFd)
{
    forEachStagingFolder(folderFd, [&](const std::string& name, int staging, const struct stat& status) {
        const auto record = Record::readFrom(staging);
        if (!record || !record->writer.isGone())
            return;
        // Once the renames may have begun, anything here but the package built
        // is the old one. It goes only when the name holds the package built;
        // otherwise it goes back under the name, and waits while that is taken.
        // A record from before exports named the package built has only a
        // package set aside to return.
        const char* destination = record->destination.c_str();
        const auto& built = record->placing;
        if (built ? identityAt(folderFd, destination) != built : exists(staging, previousName)) {
            bool kept = false;
            for (const char* item : {previousName, packageName}) {
                const auto found = identityAt(staging, item);
                const bool old = found && (built ? found != built : item == previousName);
                if (old && !renameWithoutReplacing(staging, item, folderFd, destination))
                    kept = true;
            }
            if (kept)
                return;
        }
        removeFolder(folderFd, name, staging, Identity(status.st_dev, status.st_ino));
    });
}

} // namespace quorvia
