#pragma once

#include "keynote/KeynoteConnectionState.h"
#include "keynote/KeynoteDocumentIdentity.h"
#include "keynote/KeynoteOpenError.h"
#include "keynote/KeynoteOpenedDocument.h"
#include "keynote/KeynotePresenterNotesError.h"
#include "model/KeynotePresenterNotesBackup.h"
#include "platform/core/MainQueue.h"
#include "platform/Platform.h"
#include "platform/system/ScriptRunner.h"

#include <QString>

#include <expected>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace quorvia {

// The one object through which the system observes and drives Keynote. Every
// exchange is one script on the serial probe queue, one at a time; every
// decision and field change happens on the main thread.
class KeynoteController {
public:
    // Posted with the controller as sender and no user info.
    static inline const QString keynoteConnectionStateChanged = QStringLiteral("KeynoteConnectionStateChanged");
    static inline const QString keynoteMonitoringStateChanged = QStringLiteral("KeynoteMonitoringStateChanged");

    static inline const QString probeQueueLabel = QStringLiteral("com.local.quorvia.keynote-probe");
    static constexpr double monitoringInterval = 0.7;
    static constexpr double openDeadline = 12.0;
    static constexpr double openRetryDelay = 0.35;
    static constexpr double openBusyRetryDelay = 0.25;

    using Completion = std::function<void(bool)>;
    using OpenCompletion = std::function<void(std::expected<KeynoteOpenedDocument, KeynoteOpenError>)>;
    using NotesReadCompletion =
        std::function<void(std::expected<KeynotePresenterNotesBackup, KeynotePresenterNotesError>)>;
    using NotesReplaceCompletion = std::function<void(std::expected<void, KeynotePresenterNotesError>)>;

    KeynoteController();
    ~KeynoteController();
    KeynoteController(const KeynoteController&) = delete;
    KeynoteController& operator=(const KeynoteController&) = delete;

    const KeynoteConnectionState& state() const { return state_; }
    const std::optional<KeynoteDocumentIdentity>& documentIdentity() const { return documentIdentity_; }
    bool isMonitoring() const { return isMonitoring_; }

    // One state read now, showing checking while it runs.
    void refresh();
    void setMonitoringEnabled(bool enabled);
    // Stops polling, makes outstanding results stale and fails the parked slide command.
    void stop();

    // Completions run on the main thread: at once when refused, else with the result.
    void goToSlide(int slideNumber, Completion completion = nullptr);
    void showNextBuild(Completion completion = nullptr);
    void showPreviousSlide(Completion completion = nullptr);
    void startSlideshow(Completion completion = nullptr);
    void stopSlideshow(Completion completion = nullptr);
    void activateForPresentationIfPlaying();

    // Opens the .key file at filePath in Keynote and waits until Keynote shows
    // it in front, for up to 12 s.
    void openDocumentAndInspect(const QString& filePath, OpenCompletion completion);

    void readPresenterNotes(std::vector<qint64> slideNumbers, const KeynoteDocumentIdentity& expectedIdentity,
                            qint64 expectedSlideCount, NotesReadCompletion completion);
    void replacePresenterNotes(std::map<qint64, QString> notes, const KeynoteDocumentIdentity& expectedIdentity,
                               qint64 expectedSlideCount, NotesReplaceCompletion completion);

private:
    struct PendingSlideCommand {
        int slideNumber = 0;
        Completion completion;
    };
    struct Liveness {};
    using Alive = std::weak_ptr<Liveness>;

    static const std::vector<QString>& bundleIdentifiers();
    static std::optional<QString> installedBundleIdentifier();
    static std::optional<QString> runningBundleIdentifier();
    static void requireMainThread();

    void performProbe(bool showCheckingState);
    void update(const KeynoteConnectionState& state, const std::optional<KeynoteDocumentIdentity>& identity);
    void runPendingSlideCommandIfNeeded();
    void failPendingSlideCommand();
    void executePlaybackCommand(const QString& command, Completion completion);
    void inspectOpenedDocument(const QString& filePath, double deadline, OpenCompletion completion);
    void scheduleInspection(double delay, const QString& filePath, double deadline, OpenCompletion completion);
    KeynoteOpenError importFailure(const QString& filePath) const;
    // The running Keynote to send a notes script to, or nothing when the request must be refused.
    std::optional<QString> notesOperationTarget(const KeynoteDocumentIdentity& expectedIdentity,
                                                qint64 expectedSlideCount, qint64 lowestSlide,
                                                qint64 highestSlide) const;
    // Completes a notes operation, then reads the state once; a stale result is unavailable.
    template <typename Result>
    std::function<void(Result, bool isStale)> finishNotesOperation(std::function<void(Result)> complete);

    // Starts a script run: raises the generation and takes the in-flight slot.
    // The script runs on the probe queue; onResult runs on the main thread
    // after the slot is freed, told whether the result is stale, and never
    // once the controller is gone.
    template <typename Result>
    void startRun(const QString& bundleIdentifier,
                  std::function<Result(platform::ScriptRunner&, const QString&)> script,
                  std::function<void(Result, bool isStale)> onResult);

    Alive alive() const { return liveness_; }

    platform::SerialQueue probeQueue_;
    int probeGeneration_ = 0;
    std::unique_ptr<platform::Timer> monitoringTimer_;
    bool isProbeInFlight_ = false;
    std::optional<PendingSlideCommand> pendingSlideCommand_;
    bool isMonitoring_ = false;
    KeynoteConnectionState state_;
    std::optional<KeynoteDocumentIdentity> documentIdentity_;
    std::shared_ptr<Liveness> liveness_ = std::make_shared<Liveness>();
};

template <typename Result>
void KeynoteController::startRun(const QString& bundleIdentifier,
                                 std::function<Result(platform::ScriptRunner&, const QString&)> script,
                                 std::function<void(Result, bool)> onResult)
{
    const int generation = ++probeGeneration_;
    isProbeInFlight_ = true;
    platform::current().scriptRunner(); // aborts when none is installed
    std::shared_ptr<platform::ScriptRunner> runner = platform::current().scriptRunnerService;
    probeQueue_.async([this, alive = alive(), runner, bundleIdentifier, generation, script = std::move(script),
                       onResult = std::move(onResult)] {
        Result result = script(*runner, bundleIdentifier);
        platform::MainQueue::async([this, alive, generation, result = std::move(result), onResult] {
            if (alive.expired())
                return;
            isProbeInFlight_ = false;
            onResult(result, probeGeneration_ != generation);
        });
    });
}

} // namespace quorvia
