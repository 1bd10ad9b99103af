#pragma once

#include "model/ProjectBackupError.h"
#include "model/StagingRecord.h"
#include "platform/files/FileDescriptor.h"

#include <expected>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace quorvia {

// Where an export builds its package: a private folder beside the
// destination, in a folder another user or another launch may write too, so
// no name there is trusted for anything. The folder carries a record of the
// export writing it; a later export settles it only when that record says the
// writer is gone from this machine and holds no lock on it. Nothing is ever
// removed but the package built and the very package found under the name when
// the export began, each known by its inode and a digest of its manifest (a
// drive mounted again comes back under another device number; one that numbers
// its files anew leaves the digest, and where the export put each), and each first
// renamed to a name that says it goes, which the record keeps (a stick may
// number its files anew at each mount). What is under such a name never goes
// back under the package's name; anything else the renames took from under
// the name goes back there when the name is free, and stays otherwise.
// The record goes last, after all it speaks for. File work only.
class StagingFolder {
public:
    // Points a test may stop an export at, as a crash or another process would.
    // `removing` comes before each removal of a file or folder in the folder, and of the folder;
    // `goingNamed` after an item takes a removal's name, before the record lists it;
    // `recordBegun` as a temporary of the record is made, before it is locked.
    enum class Step { folderMade, previousSetAside, renamed, removing, goingNamed, recordBegun };
    static inline std::function<void(Step)> onStep;

    // For the package `destination`, a name in the folder open at `parentFd`;
    // no manifest beyond `manifestBytes` is read.
    StagingFolder(int parentFd, std::string destination, qint64 manifestBytes);
    // Takes away the package built unless it is in place, and the old package
    // once the package built holds the name; anything else it keeps, with the
    // record, for the sweep.
    ~StagingFolder();
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    // Marks what is under the destination's name now, refusing anything there
    // but a backup package; then makes the folder, records this export in it
    // and opens the package folder inside. A folder found not to be ours is
    // left untouched.
    std::expected<void, ProjectBackupFailure> create();
    // The folder the package is built in.
    int packageFd() const { return package_.get(); }

    // Puts the package in place of the destination by renames within one
    // file system: whole, or not at all. Everything in the package must be on
    // the drive already; the new name is there too before this returns, so an
    // old package removed afterwards is never missed after a power cut. On any
    // failure the name holds again what it held, or the text says where that is.
    std::expected<void, ProjectBackupFailure> putInPlace();

    // Settles in the folder open at `folderFd` what exports that can no longer
    // be running left there, by their records. Never follows a link nor
    // enters another mount.
    static void sweepLeftovers(int folderFd, qint64 manifestBytes);

private:
    using Identity = StagingRecord::Identity;
    using Mark = StagingRecord::Mark;

    // Puts the old package, set aside as `name` here, back under its name; kept
    // here for the sweep when the name is taken. Says which.
    DestinationOutcome::Left putBack(const char* name);
    // Undoes the renames: what went from the name to `old` here (nothing when
    // the name was free) goes back, and the package built comes back here.
    bool withdraw(const char* old);
    // Keeps the old package, set aside as `old` here, from every sweep until
    // the name is free: the export says so.
    void keep(const char* old);
    // What the export met at the destination, and what became of what it moved.
    ProjectBackupError outcome(DestinationOutcome::Found found, DestinationOutcome::Left left = DestinationOutcome::Left::nothing,
                               int error = 0) const;
    // Whether the item `name` here is the package found under the name.
    bool isOld(const char* name) const;
    std::error_code record();
    // Removes folders beside this one that exports cut short before their
    // record had a name left: once no lock on the folder or an unfinished
    // record says its export runs, or, where nothing can tell, once clearly
    // older than any export could be at that step.
    void removeUnrecorded(const struct timespec& now) const;

    int parentFd_;
    std::string destination_;
    std::string name_;
    qint64 manifestBytes_;
    platform::FileDescriptor folder_;
    platform::FileDescriptor package_;
    // Holds the record locked while this export runs.
    platform::FileDescriptor recordLock_;
    std::optional<Identity> identity_;
    Identity packageIdentity_{};
    // The package under the name when the export began, held open so no other
    // item takes its inode meanwhile.
    std::optional<Mark> old_;
    platform::FileDescriptor oldPackage_;
    std::optional<Mark> built_;
    // The export failed after its renames and the old package could not go back.
    bool keepsOld_ = false;
    std::vector<std::string> removing_;
};

} // namespace quorvia
