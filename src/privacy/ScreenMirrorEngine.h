#pragma once

#include "platform/capture/CaptureService.h"
#include "platform/core/MainQueue.h"
#include "platform/core/NotificationCenter.h"
#include "platform/system/ProcessService.h"
#include "privacy/AudienceOutputWindowController.h"
#include "privacy/CaptureHeartbeat.h"
#include "privacy/CaptureIdentity.h"
#include "privacy/PresentationSafetyState.h"

#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace quorvia {

namespace platform {
class Window;
}

// Runs the privacy output: captures the built-in display, leaving out Keynote
// and (unless app sharing is on) this application, and shows it full-screen on
// the chosen audience display while every other external display shows a safe
// page. At any doubt it stops fail-closed with a reason. All state lives on
// the main thread; stale asynchronous results are dropped by generation.
class ScreenMirrorEngine {
public:
    ScreenMirrorEngine();
    ~ScreenMirrorEngine();
    ScreenMirrorEngine(const ScreenMirrorEngine&) = delete;
    ScreenMirrorEngine& operator=(const ScreenMirrorEngine&) = delete;

    std::function<void(const PresentationSafetyState&)> onStateChange;
    // Called at the start of a fail-closed stop, before anything on screen changes.
    std::function<void(const QString& reason)> onWillFailClosed;
    std::function<bool(platform::Point globalLocation)> shouldSuppressPointer;
    std::function<bool()> arePrivateWindowsWithinSafeBounds;

    PresentationSafetyState currentState() const { return state_; }
    // The audience windows, which the owner leaves alone when it hides windows.
    std::vector<platform::Window*> audienceOutputWindows() const;

    // Main thread; takes effect at the next start.
    void setSelectedExternalDisplayID(std::optional<platform::DisplayID> id);
    // Main thread, output off.
    void setIncludesOwnApplication(bool includes);

    // Any thread; the work always runs on a later turn of the main queue.
    void setPrivacyOutputEnabled(bool enabled);
    // Main queue.
    void startPrivacyOutput();
    void privacyPause();
    void resumeAfterPrivacyPause();
    // Any thread.
    void handleTopologyChange();
    void failClosed(const QString& reason);
    // Main thread, after any change of the displays: each audience window
    // stands on its own display as that display now stands. One whose display
    // is gone goes; one that would lie over the speaker's screen or be
    // mirrored waits out of sight.
    void keepAudienceWindowsOnTheirDisplays();
    // Main thread; the completion runs on a later turn of the main queue once
    // capture has stopped.
    void shutdown(std::function<void()> completion);

    // Read-only views for the owner's checks and for tests.
    const AudienceOutputWindowController& output() const { return output_; }
    const std::map<platform::DisplayID, std::unique_ptr<AudienceOutputWindowController>>& auxiliaryOutputs() const
    {
        return auxiliaryOutputs_;
    }
    bool isPrivacyOutputEnabled() const { return privacyOutputEnabled_; }
    bool hasStream() const { return stream_ != nullptr; }
    int frameRate() const { return frameRate_; }
    const std::optional<CaptureIdentity>& captureIdentity() const { return captureIdentity_; }

    static inline const QString captureQueueLabel = QStringLiteral("com.local.quorvia.capture");

private:
    friend struct ScreenMirrorEngineTestPeer;
    using Life = std::shared_ptr<ScreenMirrorEngine*>;
    using WeakLife = std::weak_ptr<ScreenMirrorEngine*>;
    // Main thread only: the engine, or null once it is gone.
    static ScreenMirrorEngine* alive(const WeakLife& weak);
    static void postFailClosed(const WeakLife& weak, const QString& reason);
    WeakLife weak() const { return life_; }

    // State and stopping.
    void transition(const PresentationSafetyState& next);
    std::optional<CaptureIdentity> currentCaptureIdentity() const;
    void showAuxiliarySafeOutputs(platform::DisplayID audienceID);
    void hideAuxiliaryOutputs();
    void destroyAuxiliaryOutputs();
    void stopStream(std::function<void()> completion);
    void stopHealthMonitoring();
    void updateActivityAssertion();
    void releaseActivityAssertion();
    void handleApplicationLifecycleChange(const platform::Notification& notification);
    void finishFailClosed(int generation, std::optional<platform::DisplayID> audienceID, const QString& reason);
    static bool isDegraded(const PresentationSafetyState& state) { return state.isDegraded(); }
    static bool isKeynote(const QString& bundleIdentifier);

    // Start path.
    void enable();
    void disable();
    void beginPrivacyOutput(int generation);
    void configureStream(const platform::ShareableDisplay& display,
                         const std::vector<platform::ShareableApplication>& excluded,
                         const platform::Rect& externalScreenFrame, int generation);

    // Health.
    void startHealthMonitoring();
    void receiveFrame(platform::StreamID source, bool hasUsableStatus, const platform::SampleBuffer& buffer);
    void handleFrame(int status, const platform::SampleBuffer& buffer);
    void showLive();
    void checkHealth();
    bool audienceWindowIsInPlace() const;
    bool auxiliaryOutputsAreValid(platform::DisplayID selectedID) const;
    bool applyThermalState();
    void updateFrameRateIfNeeded(int fps);
    void updateAudiencePointer();
    static bool isSuspensionDegraded(const PresentationSafetyState& state);
    static bool isThermalDegraded(const PresentationSafetyState& state);

    Life life_;

    AudienceOutputWindowController output_;
    std::map<platform::DisplayID, std::unique_ptr<AudienceOutputWindowController>> auxiliaryOutputs_;
    platform::SerialQueue captureQueue_;
    std::shared_ptr<platform::CaptureStream> stream_;
    std::optional<platform::StreamConfiguration> streamConfiguration_;
    std::optional<platform::ActivityToken> activity_;
    std::unique_ptr<platform::Timer> healthTimer_;
    std::unique_ptr<platform::Timer> pointerTimer_;
    std::optional<platform::DisplayID> selectedExternalDisplayID_;
    // The display `output_` was last shown on.
    std::optional<platform::DisplayID> outputDisplayID_;
    std::optional<CaptureIdentity> captureIdentity_;
    bool privacyOutputEnabled_ = false;
    bool includesOwnApplication_ = false;
    bool isStarting_ = false;
    bool hasReceivedRenderableFrame_ = false;
    // Set by shutdown: no later request may bring the output back.
    bool isShutDown_ = false;
    CaptureHeartbeat heartbeat_;
    platform::ThermalState lastThermalState_;
    int frameRate_ = 30;
    int lifecycleGeneration_ = 0;
    // Shared with the platform's stop report, so waiters still run (and a
    // shutdown completion still arrives) if the engine goes first.
    struct StreamStop {
        bool isStopping = false;
        std::vector<std::function<void()>> waiters;
    };
    std::shared_ptr<StreamStop> streamStop_ = std::make_shared<StreamStop>();
    std::vector<platform::Observation> keynoteLifecycleObservers_;
    PresentationSafetyState state_ = PresentationSafetyState::disabled();
};

} // namespace quorvia
