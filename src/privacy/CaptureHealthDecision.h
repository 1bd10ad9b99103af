#pragma once

#include <QString>

namespace quorvia {

class CaptureHealthDecision {
public:
    enum class Kind { failClosed, healthy, freezeLastSafeFrame };

    static CaptureHealthDecision failClosed(const QString& reason) { return {Kind::failClosed, reason}; }
    static CaptureHealthDecision healthy() { return {Kind::healthy, {}}; }
    static CaptureHealthDecision freezeLastSafeFrame() { return {Kind::freezeLastSafeFrame, {}}; }

    Kind kind() const { return kind_; }
    bool isFailClosed() const { return kind_ == Kind::failClosed; }
    // Empty unless the decision fails closed.
    const QString& reason() const { return reason_; }

    friend bool operator==(const CaptureHealthDecision&, const CaptureHealthDecision&) = default;

private:
    CaptureHealthDecision(Kind kind, const QString& reason) : kind_(kind), reason_(reason) {}

    Kind kind_;
    QString reason_;
};

} // namespace quorvia
