#pragma once

namespace quorvia {

namespace platform {
class DefaultsStore;
}

// The audience preview window's own opacity.
class AudiencePreviewPreferences {
public:
    // Null means the platform's defaults store.
    explicit AudiencePreviewPreferences(platform::DefaultsStore* defaults = nullptr);

    double opacity() const;
    void setOpacity(double value);

private:
    platform::DefaultsStore& defaults_;
};

} // namespace quorvia
