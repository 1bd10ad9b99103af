#pragma once

#include "model/ProjectBackupError.h"
#include "platform/files/FileDescriptor.h"

#include <expected>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include <sys/types.h>

namespace quorvia {

// Where an export builds its package: a private folder beside the
// destination, in a folder another user or another launch may write too, so
// no name there is trusted for anything. The folder carries a record of the
// export writing it; a later export removes it only when that record says the
// writer is gone from this machine, and keeps any old package it had set aside
// until the name holds the package built or is free to take the old one back.
// File work only.
class StagingFolder {
public:
    using Identity = std::pair<dev_t, ino_t>;

    // Points a test may stop an export at, as a crash or another process would.
    enum class Step { folderMade, previousSetAside, renamed };
    static inline std::function<void(Step)> onStep;

    // For the package `destination`, a name in the folder open at `parentFd`.
    StagingFolder(int parentFd, std::string destination);
    // Takes away what the export made, and what it replaced once the new
    // package is in place; an old package that could not go back under its
    // name is kept for the sweep.
    ~StagingFolder();
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    // Makes the folder, records this export in it and opens the package
    // folder inside. A folder found not to be ours is left untouched.
    std::error_code create();
    // The folder the package is built in.
    int packageFd() const { return package_.get(); }

    // Puts the package in place of the destination by renames within one
    // file system: whole, or not at all. Everything in the package must be on
    // the drive already; the new name is there too before this returns, so an
    // old package removed afterwards is never missed after a power cut.
    std::expected<void, ProjectBackupFailure> putInPlace();

    // Removes from the folder open at `folderFd` what exports that can no
    // longer be running left there. An old package they set aside is removed
    // only when its name holds the very package that replaced it; otherwise it
    // goes back under its name once the name is free. Never follows a link nor
    // enters another mount.
    static void sweepLeftovers(int folderFd);

private:
    // Puts the old package, set aside as `name` here, back under its name; kept
    // here for the sweep when the name is taken. Says which.
    QString putBack(const char* name);
    // Removes folders beside this one that exports killed before their record
    // had a name left, once clearly older than any export could be at that step.
    void removeUnrecorded(const struct timespec& now) const;

    int parentFd_;
    std::string destination_;
    std::string name_;
    platform::FileDescriptor folder_;
    platform::FileDescriptor package_;
    std::optional<Identity> identity_;
    Identity packageIdentity_{};
    bool placed_ = false;
    bool keepsOldPackage_ = false;
};

} // namespace quorvia
