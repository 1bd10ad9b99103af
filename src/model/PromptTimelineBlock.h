#pragma once

#include "model/PromptTimelineBlockKind.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QUuid>

#include <optional>

namespace quorvia {

// One section of a script. The identity survives edits and moves.
struct PromptTimelineBlock {
    PromptTimelineBlock(const QUuid& id, const QString& label, const QString& text) : id(id), label(label), text(text) {}

    QUuid id;
    QString label;
    QString text;

    // slide(n) when the label, untrimmed, is a whole number above 0; otherwise demo(label).
    PromptTimelineBlockKind kind() const;

    bool operator==(const PromptTimelineBlock& other) const;

    QJsonObject toJson() const;
    static std::optional<PromptTimelineBlock> fromJson(const QJsonValue& value);
};

} // namespace quorvia
