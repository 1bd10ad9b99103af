#pragma once

#include <QString>

namespace quorvia {

namespace platform {
class DefaultsStore;
}

// Owns the auto-scroll speed key, in characters per minute.
class AutoScrollPreferences {
public:
    static constexpr int minimumSpeed = 100;
    static constexpr int maximumSpeed = 800;
    static constexpr int speedStep = 20;
    static constexpr int defaultSpeed = 260;
    static inline const QString speedKey = QStringLiteral("presentation.autoScroll.charactersPerMinute");

    explicit AutoScrollPreferences(platform::DefaultsStore& defaults);
    // Over the platform's standard defaults store.
    AutoScrollPreferences();

    int charactersPerMinute() const;
    void setCharactersPerMinute(int value);

    static int clamp(long long value);

private:
    platform::DefaultsStore& defaults_;
};

} // namespace quorvia
