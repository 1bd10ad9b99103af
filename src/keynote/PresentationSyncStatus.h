#pragma once

#include <QString>
#include <QtGlobal>

namespace quorvia {

// What the two-way sync is doing, with the texts the panel shows.
struct PresentationSyncStatus {
    enum class Kind { following, suspended, conflict, disabled, ready };

    Kind kind = Kind::disabled;
    qint64 slide = 0; // following only
    QString message;  // suspended and conflict only

    static PresentationSyncStatus following(qint64 slide) { return {Kind::following, slide, {}}; }
    static PresentationSyncStatus suspended(const QString& message) { return {Kind::suspended, 0, message}; }
    static PresentationSyncStatus conflict(const QString& message) { return {Kind::conflict, 0, message}; }
    static PresentationSyncStatus disabled() { return {}; }
    static PresentationSyncStatus ready() { return {Kind::ready, 0, {}}; }

    bool isConflict() const { return kind == Kind::conflict; }
    QString title() const;
    QString detail() const;

    bool operator==(const PresentationSyncStatus&) const = default;
};

} // namespace quorvia
