#pragma once

#include "platform/files/ProcessStamp.h"

#include <QByteArray>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>

namespace quorvia {

// Who is writing a staging folder, for which package, and which packages it
// knows: the file a staging folder carries, which decides what a sweep may
// take from it.
struct StagingRecord {
    static constexpr char fileName[] = "export.json";

    // An item by device and inode.
    using Identity = std::pair<dev_t, ino_t>;
    // A package, known again on the same drive however it was mounted since.
    struct Mark {
        ino_t inode = 0;
        QByteArray manifestDigest;
        bool operator==(const Mark&) const = default;
    };

    platform::ProcessStamp writer;
    std::string destination;
    // Records from before exports marked packages name only the package built,
    // by device and inode; in theirs an item that is not it is the old package.
    bool marks = true;
    std::optional<Identity> builtOnDevice;
    // The package under the name when the export began.
    std::optional<Mark> old;
    // The package built, once the renames that put it under the name may have begun.
    std::optional<Mark> built;
    // The export failed after its renames and could not put the old package
    // back: it goes back once the name is free, and never goes otherwise.
    bool keepsOld = false;
    // The names items were renamed to when their removal began: a drive that
    // numbers its files anew at each mount no longer shows the number they carry.
    std::vector<std::string> removing;
    // Read only: its writer holds the record locked, so it runs, whatever the
    // stamp says (two machines made from one image share their names).
    bool locked = false;

    QByteArray encoded() const;
    // The record in the folder open at `folderFd`, if one of ours is there:
    // a file of this user's with no other name, which only this user wrote.
    static std::optional<StagingRecord> readFrom(int folderFd);
};

} // namespace quorvia
