#pragma once

#include "platform/system/ProcessService.h"

#include <map>

namespace quorvia::test {

// Thermal state set by the test; activities are recorded so tests can see
// which are held and that each begun one ends exactly once.
class FakeProcessService final : public platform::ProcessService {
public:
    struct Activity {
        platform::ActivityOptions options;
        QString reason;
    };

    qint64 processIdentifier() const override { return pid; }
    platform::ThermalState thermalState() const override { return thermal; }
    platform::ActivityToken beginActivity(platform::ActivityOptions options, const QString& reason) override
    {
        ++begun;
        const platform::ActivityToken token{nextToken_++};
        active.emplace(token.value, Activity{options, reason});
        return token;
    }
    void endActivity(platform::ActivityToken token) override
    {
        ++ended;
        if (active.erase(token.value) == 0)
            ++unknownEnds;
    }

    void setThermalRaw(int raw) { thermal = static_cast<platform::ThermalState>(raw); }

    qint64 pid = 4242;
    platform::ThermalState thermal = platform::ThermalState::nominal;
    std::map<std::uint64_t, Activity> active;
    int begun = 0;
    int ended = 0;
    int unknownEnds = 0;

private:
    std::uint64_t nextToken_ = 1;
};

} // namespace quorvia::test
