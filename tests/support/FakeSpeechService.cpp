#include "support/FakeSpeechService.h"

namespace quorvia::test {

namespace {
class FakeInstallation final : public platform::SpeechAssetInstallationRequest {
public:
    FakeInstallation(bool succeeds, int& installs) : succeeds_(succeeds), installs_(installs) {}
    bool downloadAndInstall() override
    {
        ++installs_;
        return succeeds_;
    }

private:
    bool succeeds_;
    int& installs_;
};
} // namespace

std::shared_ptr<platform::SpeechTranscriber> FakeSpeechService::makeTranscriber(const QString& locale)
{
    auto transcriber = std::make_shared<FakeSpeechTranscriber>(locale);
    transcribers.push_back(transcriber);
    return transcriber;
}

std::expected<std::shared_ptr<platform::SpeechAssetInstallationRequest>, platform::SpeechServiceError>
FakeSpeechService::assetInstallationRequest(const platform::SpeechTranscriber&)
{
    ++installationRequests;
    switch (installation) {
    case Installation::offeredSucceeds:
    case Installation::offeredFails:
        return std::make_shared<FakeInstallation>(installation == Installation::offeredSucceeds, installs);
    case Installation::none:
        return nullptr;
    case Installation::error:
        break;
    }
    return std::unexpected(platform::SpeechServiceError::failed);
}

std::expected<void, platform::SpeechServiceError> FakeSpeechService::reserve(const QString& locale)
{
    reservedLocales.push_back(locale);
    if (!reserveSucceeds)
        return std::unexpected(platform::SpeechServiceError::failed);
    return {};
}

std::shared_ptr<platform::SpeechAnalyzer> FakeSpeechService::makeAnalyzer(std::shared_ptr<platform::SpeechTranscriber>)
{
    auto analyzer = std::make_shared<FakeSpeechAnalyzer>();
    analyzer->prepareSucceeds = analyzerPrepares;
    analyzer->startSucceeds = analyzerStarts;
    analyzers.push_back(analyzer);
    return analyzer;
}

} // namespace quorvia::test
