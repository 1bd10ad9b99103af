#pragma once

namespace quorvia {

namespace platform {
class DefaultsStore;
}

// The island's opacity and always-on-top, read from the store on every access.
class IslandPreferences {
public:
    static constexpr double minimumOpacity = 0.35;
    static constexpr double maximumOpacity = 1.0;
    static double clampOpacity(double value);

    // Null means the platform's defaults store.
    explicit IslandPreferences(platform::DefaultsStore* defaults = nullptr);

    double opacity() const;
    bool alwaysOnTop() const;
    void setOpacity(double value);
    void setAlwaysOnTop(bool value);

private:
    platform::DefaultsStore& defaults_;
};

} // namespace quorvia
