#include "app/AppCoordinator.h"

#include "platform/Platform.h"

namespace quorvia {

void AppCoordinator::shutdown(std::function<void()> completion)
{
    // Nothing watches the displays from here on, and the capture may take
    // seconds to confirm its stop: nothing private stays up meanwhile.
    isShuttingDown = true;
    hidePrivateSurfaces(false);
    autoScroll->pause();
    prompterHost->captureReadingPosition();
    autoScroll->onAdvance = nullptr;
    syncController->shutdown();
    speechAutomation->shutdown();
    audioDevices->stopTestTone();
    topologyTimer.reset();
    safetyOverlayResumeTimer.reset();
    globalHotKeys->onEmergencyToggle = nullptr;
    if (localKeyMonitor) {
        platform::current().application().removeLocalKeyMonitor(*localKeyMonitor);
        localKeyMonitor.reset();
    }
    keynoteStateObserver.reset();
    audiencePreview->stop();
    audiencePreview->onWindowCreated = nullptr;
    audiencePreview->onVisibilityChange = nullptr;
    mirrorEngine->onStateChange = nullptr;
    mirrorEngine->onWillFailClosed = nullptr;
    mirrorEngine->shouldSuppressPointer = nullptr;
    mirrorEngine->arePrivateWindowsWithinSafeBounds = nullptr;
    safetyOverlayController->hide();
    screenParametersObserver.reset();
    placementWatch.onMovedByWindowManager = nullptr;
    placementWatch.isSettled = nullptr;
    mirrorEngine->shutdown(std::move(completion));
}

} // namespace quorvia
