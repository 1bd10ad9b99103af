#include "model/StagingFolder.h"

#include "model/ProjectBackupPackage.h"
#include "model/StagingRecord.h"
#include "platform/files/AtomicFileWrite.h"
#include "platform/files/BoundedFileRead.h"
#include "platform/files/ProcessStamp.h"
#include "platform/files/TreeRemoval.h"
#include "platform/core/Uuid.h"

#include <QCryptographicHash>
#include <QFile>

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
using Identity = StagingRecord::Identity;
using Mark = StagingRecord::Mark;
using Found = DestinationOutcome::Found;
using Left = DestinationOutcome::Left;

namespace {

const QString stagingPrefix = QStringLiteral(".QuorviaBackup-");
constexpr char packageName[] = "package";
constexpr char previousName[] = "previous";
// An old package the export said it kept, where the record could not say so.
constexpr char keptName[] = "kept";
// An item being removed, followed by its inode: whatever is left of it goes.
constexpr char goingPrefix[] = "removing-";
// Making the folder and naming its record takes moments; a folder that has
// waited this long for its record belongs to an export long gone.
constexpr time_t unrecordedAge = 10 * 60;
// An export locks its folder before it makes its record: a folder holding
// unfinished records, unlocked a few seconds on, belongs to no running export.
constexpr time_t unlockedAge = 5;

void step(StagingFolder::Step at)
{
    if (StagingFolder::onStep)
        StagingFolder::onStep(at);
}

std::optional<Identity> identityOf(int fd)
{
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        return std::nullopt;
    return Identity(status.st_dev, status.st_ino);
}

std::optional<Identity> identityAt(int folderFd, const char* name)
{
    struct stat status {};
    if (::fstatat(folderFd, name, &status, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    return Identity(status.st_dev, status.st_ino);
}

bool exists(int folderFd, const char* name) { return identityAt(folderFd, name).has_value(); }

// The package folder open at `packageFd` as a mark: nothing when its manifest
// is no plain file of at most `bound` bytes or, with `backup`, does not read
// as a backup's manifest.
std::optional<Mark> markOf(int packageFd, qint64 bound, bool backup = false)
{
    const QByteArray name = QFile::encodeName(ProjectBackupPackage::manifestName);
    struct stat status {};
    struct stat named {};
    // Judged by type before it is opened: opening a device can do something.
    if (::fstat(packageFd, &status) != 0 || !S_ISDIR(status.st_mode)
        || ::fstatat(packageFd, name.constData(), &named, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(named.st_mode))
        return std::nullopt;
    const FileDescriptor manifest = platform::openForReadingAt(packageFd, name.constData());
    if (!manifest.isOpen())
        return std::nullopt;
    const platform::BoundedFileRead read = platform::readBounded(manifest.get(), bound);
    if (!read.ok() || (backup && !ProjectBackupPackage::decodeManifest(read.bytes)))
        return std::nullopt;
    return Mark{status.st_ino, QCryptographicHash::hash(read.bytes, QCryptographicHash::Sha256).toHex()};
}

// Cheap refusal by inode first: most items are not the one looked for. An
// item `inPlace`, where the export put that package, is known by its manifest
// alone: a drive mounted again may have numbered its files anew.
bool matches(int fd, const Mark& mark, qint64 bound, bool inPlace = false)
{
    const auto identity = identityOf(fd);
    if (!identity || (identity->second != mark.inode && !inPlace))
        return false;
    const auto found = markOf(fd, bound);
    return found && found->manifestDigest == mark.manifestDigest;
}

// Whether the item open at `fd` is the package `record` built.
bool isBuilt(const StagingRecord& record, int fd, qint64 bound, bool inPlace = false)
{
    return record.built ? matches(fd, *record.built, bound, inPlace)
                        : record.builtOnDevice && identityOf(fd) == record.builtOnDevice;
}

// `stays` is never put back under the name: it may be a package half removed.
enum class Kind { built, old, going, other, stays };
// What the item `name` in the staging folder, open at `fd` when a folder, is
// to `record`; `held` is the package built as its export holds it open.
Kind kindOf(const StagingRecord& record, const std::string& name, const FileDescriptor& item,
            const std::optional<Identity>& held, qint64 bound)
{
    if (name.starts_with(goingPrefix)) {
        // The inode in the name tells an item this folder's removal renamed
        // from one that merely took such a name; where the drive has numbered
        // its files anew since, only the record or the package's manifest can tell.
        const auto identity = item.isOpen() ? identityOf(item.get()) : std::nullopt;
        const bool recorded = std::find(record.removing.begin(), record.removing.end(), name) != record.removing.end();
        if (identity && (recorded || name == goingPrefix + std::to_string(identity->second)))
            return Kind::going;
        // Cut short before the record listed it: a package the record removes
        // is known by its manifest alone.
        const auto found = identity ? markOf(item.get(), bound) : std::nullopt;
        const auto removes = [&](const std::optional<Mark>& mark) { return found && mark && mark->manifestDigest == found->manifestDigest; };
        return removes(record.old) || removes(record.built) ? Kind::going : Kind::stays;
    }
    if (!item.isOpen() || name == keptName)
        return Kind::other;
    // Whatever became of its manifest meanwhile.
    if (held && identityOf(item.get()) == held)
        return Kind::built;
    if (record.old && matches(item.get(), *record.old, bound))
        return Kind::old;
    // Before the renames the package being built is the one under its own name.
    const bool renamed = record.built || record.builtOnDevice;
    if (renamed ? isBuilt(record, item.get(), bound, name == packageName) : name == packageName)
        return Kind::built;
    // Set aside, or swapped into the package's place by an exchange.
    if (record.old && (name == previousName || name == packageName) && matches(item.get(), *record.old, bound, true))
        return Kind::old;
    // A record from before marks knew the old package only by where the renames put it.
    if (!record.marks && (name == previousName || (renamed && name == packageName)))
        return Kind::old;
    return Kind::other;
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
void removeFolder(int parentFd, const std::string& name, int folderFd, const Identity& identity)
{
    platform::removeTreeContents(folderFd);
    if (identityAt(parentFd, name.c_str()) == identity)
        ::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR);
}

// Takes away the folder `entry` in the folder open at `stagingFd`, open at
// `itemFd`. Renamed first to a name that says it goes, which `note` records:
// a removal cut short leaves no package without its manifest, whatever order
// the drive lists its files in, and the next sweep finishes it.
void removeItem(int stagingFd, const std::string& entry, int itemFd, const std::function<void(const std::string&)>& note)
{
    const auto identity = identityOf(itemFd);
    if (!identity)
        return;
    std::string going = entry;
    if (!entry.starts_with(goingPrefix)) {
        going = goingPrefix + std::to_string(identity->second);
        if (!renameWithoutReplacing(stagingFd, entry.c_str(), stagingFd, going.c_str()))
            return;
        // Only the very item judged goes, and its new name is on the drive first.
        if (identityAt(stagingFd, going.c_str()) != identityOf(itemFd)) {
            renameWithoutReplacing(stagingFd, going.c_str(), stagingFd, entry.c_str());
            return;
        }
        step(StagingFolder::Step::goingNamed);
        // Only once renamed: an item of someone else's under that name is never recorded.
        note(going);
        if (!platform::syncFolder(stagingFd))
            return;
    }
    platform::removeTreeContents(itemFd, [] { step(StagingFolder::Step::removing); });
    step(StagingFolder::Step::removing);
    ::unlinkat(stagingFd, going.c_str(), AT_REMOVEDIR);
}

bool isUnfinishedRecord(const std::string& name)
{
    return name.starts_with(std::string(StagingRecord::fileName) + platform::atomicWriteTemporaryMarker);
}

// Brings the staging folder open at `stagingFd`, named `name` in the folder
// open at `parentFd`, to rest by its record: the package built goes unless it
// holds the name, the old package goes only once the package built holds the
// name, and anything else goes back under the name when it is free. The
// record and the folder go last, and only once nothing else is left in it.
// An export settling its own folder passes the package built as it holds it
// open, and its lock on the record, let go just before the record goes (a
// file system that keeps an open file's name until it is closed would keep
// the folder too). `write` puts the record, with each removal begun, on the drive.
void settle(int parentFd, int stagingFd, const std::string& name, const Identity& identity, StagingRecord record,
            qint64 bound, const std::function<void(const StagingRecord&)>& write,
            const std::optional<Identity>& held = std::nullopt, FileDescriptor* recordLock = nullptr)
{
    const auto note = [&](const std::string& going) {
        record.removing.push_back(going);
        write(record);
    };
    const char* destination = record.destination.c_str();
    const FileDescriptor underName = platform::openFolderAt(parentFd, destination);
    const bool placed = underName.isOpen() && isBuilt(record, underName.get(), bound, true);
    const auto mount = platform::mountIdOf(stagingFd);
    for (const std::string& entry : platform::entryNames(stagingFd).value_or(std::vector<std::string>())) {
        if (entry == StagingRecord::fileName || isUnfinishedRecord(entry))
            continue;
        const FileDescriptor item = platform::openFolderAt(stagingFd, entry.c_str());
        const Kind kind = kindOf(record, entry, item, held, bound);
        if (kind == Kind::going || kind == Kind::built || (kind == Kind::old && placed && !record.keepsOld)) {
            // A drive mounted on the folder is not part of it.
            if (mount && platform::mountIdOf(item.get()) == mount)
                removeItem(stagingFd, entry, item.get(), note);
        } else if (kind != Kind::stays && renameWithoutReplacing(stagingFd, entry.c_str(), parentFd, destination)) {
            platform::syncFolder(parentFd);
        }
    }
    const auto left = platform::entryNames(stagingFd);
    if (!left || std::any_of(left->begin(), left->end(), [](const std::string& entry) { return entry != StagingRecord::fileName && !isUnfinishedRecord(entry); }))
        return;
    for (const std::string& entry : *left) {
        if (isUnfinishedRecord(entry)) {
            step(StagingFolder::Step::removing);
            ::unlinkat(stagingFd, entry.c_str(), 0);
        }
    }
    if (recordLock)
        recordLock->reset();
    step(StagingFolder::Step::removing);
    ::unlinkat(stagingFd, StagingRecord::fileName, 0);
    step(StagingFolder::Step::removing);
    if (identityAt(parentFd, name.c_str()) == identity)
        ::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR);
}

} // namespace

StagingFolder::StagingFolder(int parentFd, std::string destination, qint64 manifestBytes)
    : parentFd_(parentFd),
      destination_(std::move(destination)),
      name_(QFile::encodeName(stagingPrefix + platform::uuidString(platform::newUuid())).toStdString()),
      manifestBytes_(manifestBytes)
{
}

StagingFolder::~StagingFolder()
{
    if (!folder_.isOpen())
        return;
    // Through the descriptor: what is in it is settled even when the folder
    // itself was moved away from its name.
    StagingRecord record{{}, destination_, true, std::nullopt, old_, built_, keepsOld_, removing_};
    const auto write = [this](const StagingRecord& noted) {
        removing_ = noted.removing;
        (void)this->record();
    };
    settle(parentFd_, folder_.get(), name_, *identity_, record, manifestBytes_, write,
           package_.isOpen() ? std::optional<Identity>(packageIdentity_) : std::nullopt, &recordLock_);
}

std::error_code StagingFolder::record()
{
    const StagingRecord record{platform::ProcessStamp::ofThisProcess().value_or(platform::ProcessStamp{}), destination_, true,
                        std::nullopt, old_, built_, keepsOld_, removing_};
    // Where the kernel will not say who this process is, the record names no
    // writer, and what the export leaves is never taken for abandoned.
    // Locked before it takes the name, so no sweep finds it unlocked while
    // this export runs.
    FileDescriptor lock;
    // With the folder synced, no cut leaves a folder whose record lost its name.
    const auto written = platform::writeFileAtomically(folder_.get(), StagingRecord::fileName, record.encoded(), true,
                                                       [&](int fd) {
                                                           step(Step::recordBegun);
                                                           lock = platform::lockedCopy(fd);
                                                       });
    // A record whose folder sync failed is under its name all the same: it
    // stays locked until it goes with the export.
    if (written || identityAt(folder_.get(), StagingRecord::fileName) == identityOf(lock.get()))
        recordLock_ = std::move(lock);
    return written ? std::error_code() : written.error();
}

std::expected<void, ProjectBackupFailure> StagingFolder::create()
{
    // Only a backup package may be replaced, and only the very one here now.
    if (FileDescriptor old = platform::openFolderAt(parentFd_, destination_.c_str()); old.isOpen()) {
        old_ = markOf(old.get(), manifestBytes_, true);
        oldPackage_ = std::move(old);
    } else if (errno != ENOENT && errno != ENOTDIR && errno != ELOOP) {
        return std::unexpected(lastError());
    }
    if (exists(parentFd_, destination_.c_str()) && !old_)
        return std::unexpected(outcome(Found::notABackup));

    if (::mkdirat(parentFd_, name_.c_str(), 0700) != 0)
        return std::unexpected(lastError());
    step(Step::folderMade);
    FileDescriptor folder = platform::openFolderAt(parentFd_, name_.c_str());
    if (!folder.isOpen())
        return std::unexpected(lastError());
    struct stat status {};
    if (::fstat(folder.get(), &status) != 0)
        return std::unexpected(lastError());
    // Another user's folder swapped in meanwhile is not ours to fill, nor to empty.
    if (status.st_uid != ::geteuid())
        return std::unexpected(std::make_error_code(std::errc::permission_denied));
    folder_ = std::move(folder);
    identity_ = Identity(status.st_dev, status.st_ino);
    // Locked while this export runs, before anything is made in it: however
    // long it stalls, no sweep finds it unlocked with something in it.
    platform::holdSharedLock(folder_.get());
    // A drive without Unix modes (FAT, NTFS, a network share) shows every
    // folder open whatever is asked; where modes are kept, ours is private.
    if ((status.st_mode & 077) != 0)
        ::fchmod(folder_.get(), 0700);
    if (const std::error_code written = record())
        return std::unexpected(written);
    // Our new folder's time is the drive's own clock now.
    removeUnrecorded(status.st_mtim);
    auto package = platform::makeFolderAt(folder_.get(), packageName, false);
    if (!package)
        return std::unexpected(package.error());
    package_ = std::move(*package);
    if (::fstat(package_.get(), &status) != 0)
        return std::unexpected(lastError());
    packageIdentity_ = Identity(status.st_dev, status.st_ino);
    return {};
}

bool StagingFolder::isOld(const char* name) const
{
    const FileDescriptor item = platform::openFolderAt(folder_.get(), name);
    return old_ && item.isOpen() && identityOf(item.get()) == identityOf(oldPackage_.get());
}

ProjectBackupError StagingFolder::outcome(Found found, Left left, int error) const
{
    return ProjectBackupError::atDestination({found, left, error, QFile::decodeName(QByteArray::fromStdString(name_))});
}

std::expected<void, ProjectBackupFailure> StagingFolder::putInPlace()
{
    // Whatever was put in place must be the package built, or the export did not happen.
    built_ = identityAt(folder_.get(), packageName) == packageIdentity_ ? markOf(package_.get(), manifestBytes_) : std::nullopt;
    if (!built_)
        return std::unexpected(outcome(Found::tampered));
    // Before any rename the record names the package built and, with this
    // folder and its name, is on the drive: after a power cut the sweep tells
    // the old package from the new one by it.
    if (const std::error_code written = record())
        return std::unexpected(written);
    if (!platform::syncFolder(folder_.get()) || !platform::syncFolder(parentFd_))
        return std::unexpected(lastError());

    const char* destination = destination_.c_str();
    const char* old = nullptr; // where the old package went, in this folder
    if (!old_) {
        if (!renameWithoutReplacing(folder_.get(), packageName, parentFd_, destination))
            return std::unexpected(errno == EEXIST ? ProjectBackupFailure(outcome(Found::nameTaken)) : ProjectBackupFailure(lastError()));
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
        step(Step::previousSetAside);
        if (!isOld(previousName))
            return std::unexpected(outcome(Found::replaced, renameWithoutReplacing(folder_.get(), previousName, parentFd_, destination)
                                                                ? Left::theirsBack
                                                                : Left::theirsKept));
        if (!renameWithoutReplacing(folder_.get(), packageName, parentFd_, destination)) {
            const int error = errno;
            return std::unexpected(outcome(Found::driveError, putBack(previousName), error));
        }
    }
    step(Step::renamed);
    // Something other than the package found there when the export began.
    if (old && !isOld(old))
        return std::unexpected(outcome(Found::replaced, withdraw(old) ? Left::theirsBack : Left::theirsKept));
    // The new name reaches the drive before the old package may go.
    if (!platform::syncFolder(parentFd_) || !platform::syncFolder(folder_.get())) {
        const std::error_code error = lastError();
        if (withdraw(old))
            return std::unexpected(error);
        return std::unexpected(outcome(Found::driveError, old ? Left::oldKept : Left::newUnconfirmed, error.value()));
    }
    // Moved away by someone else: the new package stays wherever it went, and nothing is emptied.
    const FileDescriptor placed = platform::openFolderAt(parentFd_, destination);
    if (!placed.isOpen() || identityOf(placed.get()) != packageIdentity_)
        return std::unexpected(outcome(Found::moved, old ? putBack(old) : Left::nothing));
    // Emptied through a descriptor someone held, it is no longer the package built.
    if (!matches(placed.get(), *built_, manifestBytes_))
        return std::unexpected(outcome(Found::tampered, withdraw(old) || !old ? Left::nothing : Left::oldKept));
    return {};
}

bool StagingFolder::withdraw(const char* old)
{
    const char* destination = destination_.c_str();
    bool back = false;
    if (old == packageName)
        back = ::renameat2(folder_.get(), packageName, parentFd_, destination, RENAME_EXCHANGE) == 0;
    else if (identityAt(parentFd_, destination) == packageIdentity_
             && renameWithoutReplacing(parentFd_, destination, folder_.get(), packageName))
        back = !old || renameWithoutReplacing(folder_.get(), old, parentFd_, destination);
    if (back) {
        platform::syncFolder(parentFd_);
        return true;
    }
    if (old)
        keep(old);
    return false;
}

void StagingFolder::keep(const char* old)
{
    keepsOld_ = true;
    // Where the record cannot say so, the package's name here does; where that
    // cannot change either, no record is left to let a sweep near it.
    if (!record())
        return;
    if (renameWithoutReplacing(folder_.get(), old, folder_.get(), keptName))
        platform::syncFolder(folder_.get());
    else
        ::unlinkat(folder_.get(), StagingRecord::fileName, 0);
}

Left StagingFolder::putBack(const char* name)
{
    if (renameWithoutReplacing(folder_.get(), name, parentFd_, destination_.c_str())) {
        platform::syncFolder(parentFd_);
        return Left::oldBack;
    }
    keep(name);
    return Left::oldKeptNameTaken;
}

void StagingFolder::removeUnrecorded(const struct timespec& now) const
{
    // Our own record took a lock only where this drive keeps them.
    const bool locksTell = recordLock_.isOpen();
    forEachStagingFolder(parentFd_, [&](const std::string& name, int staging, const struct stat& status) {
        // Nothing in it but what writing the record began with.
        const auto names = platform::entryNames(staging);
        if (name == name_ || !names || !std::all_of(names->begin(), names->end(), isUnfinishedRecord))
            return;
        const auto locked = [staging](const std::string& entry) {
            struct stat item {};
            // Judged by type before it is opened: opening a device can do something.
            if (::fstatat(staging, entry.c_str(), &item, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(item.st_mode))
                return false;
            const FileDescriptor file = platform::openForReadingAt(staging, entry.c_str());
            return file.isOpen() && platform::isLockedElsewhere(file.get());
        };
        // Its export locks the folder before anything is made in it; an empty
        // one unlocked may be an export that has yet to lock it.
        const bool alive = locksTell && (platform::isLockedElsewhere(staging) || std::any_of(names->begin(), names->end(), locked));
        const bool tells = locksTell && !names->empty();
        if (!alive && status.st_mtim.tv_sec <= now.tv_sec - (tells ? unlockedAge : unrecordedAge))
            removeFolder(parentFd_, name, staging, Identity(status.st_dev, status.st_ino));
    });
}

void StagingFolder::sweepLeftovers(int folderFd, qint64 manifestBytes)
{
    forEachStagingFolder(folderFd, [&](const std::string& name, int staging, const struct stat& status) {
        const auto record = StagingRecord::readFrom(staging);
        if (record && !record->locked && record->writer.isGone())
            settle(folderFd, staging, name, Identity(status.st_dev, status.st_ino), *record, manifestBytes,
                   [staging](const StagingRecord& noted) {
                       (void)platform::writeFileAtomically(staging, StagingRecord::fileName, noted.encoded(), true);
                   });
    });
}

} // namespace quorvia
