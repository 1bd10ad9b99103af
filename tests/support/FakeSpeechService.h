#pragma once

#include "platform/sound/SpeechService.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace quorvia::test {

class FakeSpeechTranscriber final : public platform::SpeechTranscriber {
public:
    explicit FakeSpeechTranscriber(QString locale) : locale_(std::move(locale)) {}
    QString locale() const override { return locale_; }
    std::shared_ptr<platform::SpeechResultChannel> results() const override { return results_; }

private:
    QString locale_;
    std::shared_ptr<platform::SpeechResultChannel> results_ = std::make_shared<platform::SpeechResultChannel>();
};

class FakeSpeechAnalyzer final : public platform::SpeechAnalyzer {
public:
    bool prepareToAnalyze(const platform::AudioFormat& format) override
    {
        preparedFormat = format;
        return prepareSucceeds;
    }
    bool start(std::shared_ptr<platform::AnalyzerInputQueue> queue) override
    {
        input = std::move(queue);
        return startSucceeds;
    }
    void cancelAndFinishNow() override { ++cancels; }

    bool prepareSucceeds = true;
    bool startSucceeds = true;
    std::optional<platform::AudioFormat> preparedFormat;
    std::shared_ptr<platform::AnalyzerInputQueue> input;
    std::atomic<int> cancels = 0;
};

// A scripted recogniser: every answer of the preparation is a field the test
// sets; transcribers and analysers are kept so the test can feed results and
// read what reached the analyser. Thread-safe as far as the controller needs.
class FakeSpeechService final : public platform::SpeechService {
public:
    enum class Installation { offeredSucceeds, offeredFails, none, error };

    bool isAvailable() override { return available; }
    std::optional<QString> supportedLocale(const QString& requested) override
    {
        requestedLocale = requested;
        return supported;
    }
    std::shared_ptr<platform::SpeechTranscriber> makeTranscriber(const QString& locale) override;
    platform::SpeechAssetStatus assetStatus(const platform::SpeechTranscriber&) override { return assets; }
    std::expected<std::shared_ptr<platform::SpeechAssetInstallationRequest>, platform::SpeechServiceError>
    assetInstallationRequest(const platform::SpeechTranscriber&) override;
    std::expected<void, platform::SpeechServiceError> reserve(const QString& locale) override;
    std::optional<platform::AudioFormat> bestAvailableAudioFormat(const platform::SpeechTranscriber&) override
    {
        return format;
    }
    std::shared_ptr<platform::SpeechAnalyzer> makeAnalyzer(std::shared_ptr<platform::SpeechTranscriber>) override;

    bool available = true;
    std::optional<QString> supported = QStringLiteral("zh_CN");
    platform::SpeechAssetStatus assets = platform::SpeechAssetStatus::installed;
    Installation installation = Installation::offeredSucceeds;
    bool reserveSucceeds = true;
    std::optional<platform::AudioFormat> format = platform::AudioFormat{16000, 1};
    bool analyzerPrepares = true;
    bool analyzerStarts = true;

    QString requestedLocale;
    std::vector<QString> reservedLocales;
    int installationRequests = 0;
    int installs = 0;
    std::vector<std::shared_ptr<FakeSpeechTranscriber>> transcribers;
    std::vector<std::shared_ptr<FakeSpeechAnalyzer>> analyzers;
};

} // namespace quorvia::test
