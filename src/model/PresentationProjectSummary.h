#pragma once

#include <QString>
#include <QUuid>

namespace quorvia {

// One row of the project list.
struct PresentationProjectSummary {
    QUuid id;
    QString name;
    qint64 sectionCount = 0;

    bool operator==(const PresentationProjectSummary&) const = default;
};

} // namespace quorvia
