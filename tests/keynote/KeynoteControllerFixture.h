#pragma once

#include "keynote/KeynoteController.h"
#include "platform/core/NotificationCenter.h"
#include "support/FakeWorkspace.h"
#include "support/SimulatedKeynote.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

namespace quorvia {

inline void PrintTo(const KeynoteConnectionState& state, std::ostream* out)
{
    *out << state.title().toStdString();
}

} // namespace quorvia

namespace quorvia::test {

// A running Keynote with Talk.key (12 slides, notes on 1 and 3) in front, the
// fake workspace and the manual clock; the controller's notifications are counted.
class KeynoteControllerFixture : public ::testing::Test {
protected:
    using Document = SimulatedKeynote::Document;
    using Request = SimulatedKeynote::Request;

    KeynoteControllerFixture()
    {
        env.platform().workspaceService = workspace;
        env.platform().scriptRunnerService = keynote;
        keynote->attach(*workspace);
        keynote->launch();
        auto document = Document::withSlides(QStringLiteral("Talk.key"), QStringLiteral("/x/Talk.key"), 12);
        document.notes[0] = QStringLiteral("one");
        document.notes[2] = QStringLiteral("three");
        keynote->open(document);
    }

    void makeController()
    {
        controller = std::make_unique<KeynoteController>();
        auto& center = platform::NotificationCenter::defaultCenter();
        stateObservation = center.observe(KeynoteController::keynoteConnectionStateChanged, controller.get(),
                                          [this](const platform::Notification&) { ++stateChanges; });
        monitoringObservation = center.observe(KeynoteController::keynoteMonitoringStateChanged, controller.get(),
                                               [this](const platform::Notification&) { ++monitoringChanges; });
    }

    // A controller that has read Keynote once.
    void makeReadyController()
    {
        makeController();
        controller->refresh();
        settle();
        ASSERT_EQ(controller->state(), KeynoteConnectionState::ready(1, 12, false));
        stateChanges = 0;
        keynote->clearLog();
    }

    void settle() { env.scheduler().settle(); }

    // Advances in small steps, running scripts as they are queued.
    void runFor(double seconds)
    {
        for (double t = 0; t < seconds - 1e-9; t += 0.05) {
            env.scheduler().advance(0.05);
            settle();
        }
    }

    std::size_t queuedScripts() { return env.scheduler().queuedWorkCount(); }

    const KeynoteDocumentIdentity talk{QStringLiteral("Talk.key"), QStringLiteral("/x/Talk.key")};

    TestPlatform env;
    std::shared_ptr<FakeWorkspace> workspace = std::make_shared<FakeWorkspace>();
    std::shared_ptr<SimulatedKeynote> keynote = std::make_shared<SimulatedKeynote>();
    std::unique_ptr<KeynoteController> controller;
    int stateChanges = 0;
    int monitoringChanges = 0;
    platform::Observation stateObservation;
    platform::Observation monitoringObservation;
};

// A completion that appends each result to `calls`.
inline KeynoteController::Completion recordInto(std::vector<bool>& calls)
{
    return [&calls](bool value) { calls.push_back(value); };
}

} // namespace quorvia::test
