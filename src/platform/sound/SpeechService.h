#pragma once

#include "platform/sound/AnalyzerInputQueue.h"
#include "platform/sound/AudioFormat.h"
#include "platform/sound/SpeechResultChannel.h"

#include <QString>

#include <expected>
#include <memory>
#include <optional>

namespace quorvia::platform {

enum class SpeechAssetStatus { unsupported, supported, downloading, installed };

// One transcription module for one locale: volatile and final results.
class SpeechTranscriber {
public:
    virtual ~SpeechTranscriber() = default;
    virtual QString locale() const = 0;
    virtual std::shared_ptr<SpeechResultChannel> results() const = 0;
};

// Runs a transcriber over audio read from a queue. The calls may block and are
// made off the main thread; a failure once running ends the transcriber's
// results with a failure.
class SpeechAnalyzer {
public:
    virtual ~SpeechAnalyzer() = default;
    virtual bool prepareToAnalyze(const AudioFormat& format) = 0;
    // Starts reading the queue; returns once analysis runs (false when it cannot).
    virtual bool start(std::shared_ptr<AnalyzerInputQueue> input) = 0;
    // Ends analysis at once; safe from any thread and more than once.
    virtual void cancelAndFinishNow() = 0;
};

class SpeechAssetInstallationRequest {
public:
    virtual ~SpeechAssetInstallationRequest() = default;
    // Blocks until the assets are installed (true) or installing failed.
    virtual bool downloadAndInstall() = 0;
};

enum class SpeechServiceError { failed };

// On-device speech recognition. Calls may block and are made off the main thread.
class SpeechService {
public:
    virtual ~SpeechService() = default;

    // Whether the system has an on-device transcriber at all.
    virtual bool isAvailable() = 0;
    // The supported locale equivalent to the one asked for, if any.
    virtual std::optional<QString> supportedLocale(const QString& locale) = 0;
    virtual std::shared_ptr<SpeechTranscriber> makeTranscriber(const QString& supportedLocale) = 0;

    virtual SpeechAssetStatus assetStatus(const SpeechTranscriber& transcriber) = 0;
    // A request to install the transcriber's assets; null when none is offered.
    virtual std::expected<std::shared_ptr<SpeechAssetInstallationRequest>, SpeechServiceError>
    assetInstallationRequest(const SpeechTranscriber& transcriber) = 0;
    virtual std::expected<void, SpeechServiceError> reserve(const QString& supportedLocale) = 0;
    virtual std::optional<AudioFormat> bestAvailableAudioFormat(const SpeechTranscriber& transcriber) = 0;

    virtual std::shared_ptr<SpeechAnalyzer> makeAnalyzer(std::shared_ptr<SpeechTranscriber> transcriber) = 0;
};

} // namespace quorvia::platform
