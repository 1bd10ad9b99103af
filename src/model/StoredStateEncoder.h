#pragma once

#include "model/StoredProject.h"

#include <QByteArray>
#include <QHash>
#include <QUuid>

#include <mutex>
#include <vector>

namespace quorvia {

// Encodes the stored state exactly as `StoredState::toJson` does, keeping the
// encoded form of every inactive project between saves: a record changes only
// while its project is active, so a save encodes one project, not all of them.
// Thread-safe. Saves may be skipped when newer ones supersede them, so each
// names the count of project switches made before it: kept forms from another
// count may belong to a project that was active in a skipped save, and are
// dropped.
class StoredStateEncoder {
public:
    QByteArray encode(const QUuid& activeProjectID, const std::vector<StoredProject>& projects, quint64 switches = 0);

private:
    std::mutex mutex_;
    QHash<QUuid, QByteArray> inactive_;
    quint64 switches_ = 0;
};

} // namespace quorvia
