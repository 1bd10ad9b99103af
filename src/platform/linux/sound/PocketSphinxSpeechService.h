#pragma once

#include "platform/sound/SpeechService.h"

namespace quorvia::platform::native {

// Speech recognition on PocketSphinx. A locale is supported when its model is
// installed under <model root>/<locale>/: the acoustic model folder
// "acoustic-model", the pronunciation dictionary "dictionary.dict" and the
// language model "language-model.lm.bin" (or "language-model.lm"). Nothing is
// ever downloaded, so a locale without a model is simply unsupported.
class PocketSphinxSpeechService final : public SpeechService {
public:
    // The default root is quorvia/speech in the user's data folder.
    explicit PocketSphinxSpeechService(QString modelRoot = {});

    static QString defaultModelRoot();

    bool isAvailable() override { return true; }
    std::optional<QString> supportedLocale(const QString& locale) override;
    std::shared_ptr<SpeechTranscriber> makeTranscriber(const QString& supportedLocale) override;
    SpeechAssetStatus assetStatus(const SpeechTranscriber& transcriber) override;
    std::expected<std::shared_ptr<SpeechAssetInstallationRequest>, SpeechServiceError>
    assetInstallationRequest(const SpeechTranscriber&) override
    {
        return nullptr;
    }
    std::expected<void, SpeechServiceError> reserve(const QString&) override { return {}; }
    std::optional<AudioFormat> bestAvailableAudioFormat(const SpeechTranscriber& transcriber) override;
    std::shared_ptr<SpeechAnalyzer> makeAnalyzer(std::shared_ptr<SpeechTranscriber> transcriber) override;

    struct Model {
        QString acousticModel;
        QString dictionary;
        QString languageModel;
    };
    // The complete model of a locale folder, or nothing.
    std::optional<Model> model(const QString& localeFolder) const;

private:
    QString root_;
};

} // namespace quorvia::platform::native
