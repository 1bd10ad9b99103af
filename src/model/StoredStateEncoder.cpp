#include "model/StoredStateEncoder.h"

#include "model/JsonFields.h"

namespace quorvia {

QByteArray StoredStateEncoder::encode(const QUuid& activeProjectID, const std::vector<StoredProject>& projects, quint64 switches)
{
    std::lock_guard lock(mutex_);
    if (switches != switches_) {
        inactive_.clear();
        switches_ = switches;
    }
    // Records that share an id cannot be told apart, so they are never kept.
    QHash<QUuid, int> occurrences;
    for (const StoredProject& project : projects)
        ++occurrences[project.id];

    QHash<QUuid, QByteArray> kept;
    std::vector<QByteArray> parts;
    parts.reserve(projects.size());
    qsizetype size = 0;
    for (const StoredProject& project : projects) {
        const bool keepable = project.id != activeProjectID && occurrences.value(project.id) == 1;
        const auto known = keepable ? inactive_.constFind(project.id) : inactive_.cend();
        QByteArray bytes = known != inactive_.cend() ? *known : json::encode(project.toJson(), QJsonDocument::Compact);
        if (keepable)
            kept.insert(project.id, bytes);
        size += bytes.size() + 1;
        parts.push_back(std::move(bytes));
    }
    inactive_ = std::move(kept);

    // Members in the order the JSON writer gives them: sorted by name.
    QByteArray out;
    out.reserve(size + 80);
    out += R"({"activeProjectID":")";
    out += json::fromUuid(activeProjectID).toString().toLatin1();
    out += R"(","projects":[)";
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            out += ',';
        out += parts[i];
    }
    out += "]}";
    return out;
}

} // namespace quorvia
