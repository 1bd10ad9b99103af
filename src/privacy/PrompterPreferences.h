#pragma once

namespace quorvia {

class IslandPreferences;

namespace platform {
class DefaultsStore;
}

// The detached prompter window's opacity and always-on-top. Absent keys are
// seeded once from the island's values; later island changes do not follow.
class PrompterPreferences {
public:
    PrompterPreferences(platform::DefaultsStore* defaults, const IslandPreferences& fallback);

    double opacity() const;
    bool alwaysOnTop() const;
    void setOpacity(double value);
    void setAlwaysOnTop(bool value);

private:
    platform::DefaultsStore& defaults_;
};

} // namespace quorvia
