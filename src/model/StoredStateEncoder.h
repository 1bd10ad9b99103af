#pragma once

#include "model/StoredProject.h"

#include <QByteArray>
#include <QHash>
#include <QUuid>

#include <vector>

namespace quorvia {

// Encodes the stored state exactly as `StoredState::toJson` does, keeping the
// encoded form of every inactive project between saves: a record changes only
// while its project is active, so a save encodes one project, not all of them.
class StoredStateEncoder {
public:
    QByteArray encode(const QUuid& activeProjectID, const std::vector<StoredProject>& projects);

private:
    QHash<QUuid, QByteArray> inactive_;
};

} // namespace quorvia
