#pragma once

#include "model/StoredProject.h"

#include <QByteArray>
#include <QUuid>

#include <optional>
#include <vector>

namespace quorvia {

// Everything kept under the projects key: the project list and the active project's id.
struct StoredState {
    QUuid activeProjectID;
    std::vector<StoredProject> projects;

    QByteArray toJson() const; // compact
    static std::optional<StoredState> fromJson(const QByteArray& data);
};

} // namespace quorvia
