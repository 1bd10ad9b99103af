#pragma once

#include "speech/AudioSetupWindowController.h"
#include "speech/SpeechAutomationController.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

namespace quorvia::test {

// The audio setup window's hooks into speech automation, wired as the coordinator wires them.
inline AudioSetupWindowController::Automation setupWindowHooks(SpeechAutomationController& automation)
{
    auto* a = &automation;
    AudioSetupWindowController::Automation hooks;
    hooks.status = [a] { return std::pair(a->status().title(), a->status().detail()); };
    hooks.hasVerifiedOutputRoute = [a] { return a->hasVerifiedOutputRoute(); };
    hooks.setOutputRouteVerified = [a](bool verified) { a->setOutputRouteVerified(verified); };
    hooks.audioRouteChanged = [a] { a->audioRouteChanged(); };
    return hooks;
}

} // namespace quorvia::test
