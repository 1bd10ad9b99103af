#pragma once

#include <QString>

namespace quorvia {

// Where the privacy output stands. Only degraded and safeStopped carry a
// reason, the Chinese sentence shown as their detail.
class PresentationSafetyState {
public:
    enum class Kind { disabled, preparing, standby, preflighting, live, privacyPaused, degraded, safeStopped };

    PresentationSafetyState() = default;
    static PresentationSafetyState disabled() { return PresentationSafetyState(Kind::disabled); }
    static PresentationSafetyState preparing() { return PresentationSafetyState(Kind::preparing); }
    static PresentationSafetyState standby() { return PresentationSafetyState(Kind::standby); }
    static PresentationSafetyState preflighting() { return PresentationSafetyState(Kind::preflighting); }
    static PresentationSafetyState live() { return PresentationSafetyState(Kind::live); }
    static PresentationSafetyState privacyPaused() { return PresentationSafetyState(Kind::privacyPaused); }
    static PresentationSafetyState degraded(const QString& reason) { return {Kind::degraded, reason}; }
    static PresentationSafetyState safeStopped(const QString& reason) { return {Kind::safeStopped, reason}; }

    Kind kind() const { return kind_; }
    // Empty for the cases without a reason.
    const QString& reason() const { return reason_; }

    QString title() const;
    QString detail() const;
    bool isAudienceOutputActive() const { return kind_ != Kind::disabled && kind_ != Kind::preparing; }
    bool isSafeStopped() const { return kind_ == Kind::safeStopped; }
    bool isDegraded() const { return kind_ == Kind::degraded; }
    bool allowsAudiencePreview() const { return kind_ == Kind::disabled; }
    bool allowsPrimaryWindowRecovery() const { return kind_ != Kind::privacyPaused && kind_ != Kind::safeStopped; }

    friend bool operator==(const PresentationSafetyState&, const PresentationSafetyState&) = default;

private:
    explicit PresentationSafetyState(Kind kind) : kind_(kind) {}
    PresentationSafetyState(Kind kind, const QString& reason) : kind_(kind), reason_(reason) {}

    Kind kind_ = Kind::disabled;
    QString reason_;
};

} // namespace quorvia
