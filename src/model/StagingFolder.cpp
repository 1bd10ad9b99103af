#include "model/StagingFolder.h"

#include "model/DeckCopier.h"
#include "platform/AtomicFileWrite.h"
#include "platform/BoundedFileRead.h"
#include "platform/ProcessStamp.h"
#include "platform/Uuid.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cstdio>
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

    QByteArray encoded() const
    {
        return QJsonDocument(QJsonObject{
                                 {"kind", recordKind},
                                 {"destination", QString::fromLatin1(QByteArray::fromStdString(destination).toBase64())},
                                 {"machine", writer.machine},
                                 {"boot", writer.boot},
                                 {"pid", writer.pid},
                                 {"started", QString::number(writer.started)},
                                 {"pidNamespace", QString::number(writer.pidNamespace)},
                             })
            .toJson();
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
        const std::string& name = record.destination;
        if (!startedOk || !namespaceOk || record.writer.pid <= 0 || record.writer.boot.isEmpty() || name.empty()
            || name == "." || name == ".." || name.find('/') != std::string::npos || name.find('\0') != std::string::npos)
            return std::nullopt;
        return record;
    }
};

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
    // An old package that could not be put back waits here, with the record
    // and the package that did not take its place, for an export after this
    // process to return it.
    if (!placed_ && exists(folder_.get(), previousName))
        return;
    // Through the descriptor: what is in it goes even when the folder itself
    // was moved away from its name.
    DeckCopier::removeContents(folder_.get());
    if (identity_ && identityAt(parentFd_, name_.c_str()) == identity_)
        ::unlinkat(parentFd_, name_.c_str(), AT_REMOVEDIR);
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
    // A drive without Unix modes (FAT, NTFS, a network share) shows every
    // folder open whatever is asked; where modes are kept, ours is private.
    if ((status.st_mode & 077) != 0)
        ::fchmod(folder_.get(), 0700);
    // Where the kernel will not say who this process is, the record names
    // no writer, and what this export leaves is never taken for abandoned.
    const Record record{platform::ProcessStamp::ofThisProcess().value_or(platform::ProcessStamp{}), destination_};
    if (auto written = platform::writeFileAtomically(folder_.get(), recordName, record.encoded(), false); !written)
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
    const char* destination = destination_.c_str();
    if (!exists(parentFd_, destination)) {
        if (!renameWithoutReplacing(folder_.get(), packageName, parentFd_, destination))
            return std::unexpected(lastError());
    } else if (::renameat2(folder_.get(), packageName, parentFd_, destination, RENAME_EXCHANGE) != 0) {
        // The old package now sits where the new one was built and goes with the rest.
        if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
            return std::unexpected(lastError());
        // No atomic exchange on this file system: the old package is set
        // aside inside this folder first, where the record keeps it from loss.
        if (::renameat(parentFd_, destination, folder_.get(), previousName) != 0)
            return std::unexpected(lastError());
        if (onStep)
            onStep(Step::previousSetAside);
        if (::renameat(folder_.get(), packageName, parentFd_, destination) != 0) {
            const std::error_code error = lastError();
            renameWithoutReplacing(folder_.get(), previousName, parentFd_, destination);
            return std::unexpected(error);
        }
    }
    if (identityAt(parentFd_, destination) != packageIdentity_) {
        DeckCopier::removeContents(package_.get());
        return std::unexpected(ProjectBackupError::refused(tampered));
    }
    placed_ = true;
    return {};
}

void StagingFolder::sweepLeftovers(int folderFd)
{
    struct stat parent {};
    if (::fstat(folderFd, &parent) != 0)
        return;
    for (const std::string& name : platform::entryNames(folderFd).value_or(std::vector<std::string>())) {
        // The name only narrows the search; what the folder holds decides.
        if (!isStagingName(name))
            continue;
        struct stat status {};
        if (::fstatat(folderFd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(status.st_mode)
            || status.st_dev != parent.st_dev || status.st_uid != ::geteuid())
            continue;
        const FileDescriptor staging = platform::openFolderAt(folderFd, name.c_str());
        const Identity identity(status.st_dev, status.st_ino);
        if (!staging.isOpen() || ::fstat(staging.get(), &status) != 0 || Identity(status.st_dev, status.st_ino) != identity)
            continue;
        const auto record = Record::readFrom(staging.get());
        if (!record || !record->writer.isGone())
            continue;
        // Set aside, and its replacement never reached the name: it goes back.
        if (exists(staging.get(), previousName) && exists(staging.get(), packageName)
            && !renameWithoutReplacing(staging.get(), previousName, folderFd, record->destination.c_str()))
            continue;
        DeckCopier::removeContents(staging.get());
        if (identityAt(folderFd, name.c_str()) == identity)
            ::unlinkat(folderFd, name.c_str(), AT_REMOVEDIR);
    }
}

} // namespace quorvia
