#pragma once

#include <QString>

#include <optional>

namespace quorvia {

namespace platform {
class DefaultsStore;
}

// One window's opacity (kept within 0.35...1.0) and always-on-top in the
// defaults store, read anew on every access.
class WindowPreferences {
public:
    static constexpr double minimumOpacity = 0.35;
    static constexpr double maximumOpacity = 1.0;
    static double clampOpacity(double value);

    double opacity() const;
    bool alwaysOnTop() const;
    void setOpacity(double value);
    void setAlwaysOnTop(bool value);

protected:
    struct Keys {
        QString opacity;
        QString alwaysOnTop;
        // What an absent key reads as; without one, the store's zero or false.
        std::optional<double> opacityWhenAbsent;
        std::optional<bool> alwaysOnTopWhenAbsent;
    };
    // Null means the platform's defaults store.
    WindowPreferences(platform::DefaultsStore* defaults, Keys keys);

    platform::DefaultsStore& defaults_;
    const Keys keys_;
};

} // namespace quorvia
