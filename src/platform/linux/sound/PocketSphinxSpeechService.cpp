#include "platform/linux/sound/PocketSphinxSpeechService.h"

#include "platform/linux/sound/PocketSphinxAnalyzer.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace quorvia::platform::native {

namespace {
constexpr double decoderSampleRate = 16000;

// "zh-Hans-CN", "zh_hans_cn" and "zh-CN" name the same speech.
QString normalized(QString locale) { return locale.replace(u'_', u'-').toLower(); }

QString withoutScript(const QString& locale)
{
    QStringList parts = normalized(locale).split(u'-');
    if (parts.size() == 3 && parts[1].size() == 4)
        parts.removeAt(1);
    return parts.join(u'-');
}

class PocketSphinxTranscriber final : public SpeechTranscriber {
public:
    PocketSphinxTranscriber(QString locale, std::shared_ptr<PocketSphinxDecoder> decoder)
        : locale_(std::move(locale)), decoder_(std::move(decoder))
    {
    }
    QString locale() const override { return locale_; }
    std::shared_ptr<SpeechResultChannel> results() const override { return results_; }
    const std::shared_ptr<PocketSphinxDecoder>& decoder() const { return decoder_; }

private:
    QString locale_;
    std::shared_ptr<PocketSphinxDecoder> decoder_;
    std::shared_ptr<SpeechResultChannel> results_ = std::make_shared<SpeechResultChannel>();
};
} // namespace

PocketSphinxSpeechService::PocketSphinxSpeechService(QString modelRoot)
    : root_(modelRoot.isEmpty() ? defaultModelRoot() : std::move(modelRoot))
{
}

QString PocketSphinxSpeechService::defaultModelRoot()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/quorvia/speech");
}

std::optional<PocketSphinxSpeechService::Model> PocketSphinxSpeechService::model(const QString& localeFolder) const
{
    const QDir folder(root_ + u'/' + localeFolder);
    Model found{folder.filePath("acoustic-model"), folder.filePath("dictionary.dict"),
                folder.filePath("language-model.lm.bin")};
    if (!QFileInfo(found.languageModel).isFile())
        found.languageModel = folder.filePath("language-model.lm");
    if (!QFileInfo(found.acousticModel).isDir() || !QFileInfo(found.dictionary).isFile()
        || !QFileInfo(found.languageModel).isFile())
        return std::nullopt;
    return found;
}

std::optional<QString> PocketSphinxSpeechService::supportedLocale(const QString& locale)
{
    const QStringList folders = QDir(root_).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& wanted : {normalized(locale), withoutScript(locale)})
        for (const QString& folder : folders)
            if (normalized(folder) == wanted && model(folder))
                return folder;
    return std::nullopt;
}

std::shared_ptr<SpeechTranscriber> PocketSphinxSpeechService::makeTranscriber(const QString& supportedLocale)
{
    // The model is loaded here, off the main thread, so that little audio waits once capture starts.
    std::shared_ptr<PocketSphinxDecoder> decoder;
    if (const auto found = model(supportedLocale))
        decoder = PocketSphinxDecoder::load({found->acousticModel, found->dictionary, found->languageModel},
                                            decoderSampleRate);
    return std::make_shared<PocketSphinxTranscriber>(supportedLocale, std::move(decoder));
}

SpeechAssetStatus PocketSphinxSpeechService::assetStatus(const SpeechTranscriber& transcriber)
{
    const auto* ours = dynamic_cast<const PocketSphinxTranscriber*>(&transcriber);
    return ours && ours->decoder() ? SpeechAssetStatus::installed : SpeechAssetStatus::unsupported;
}

std::optional<AudioFormat> PocketSphinxSpeechService::bestAvailableAudioFormat(const SpeechTranscriber&)
{
    return AudioFormat{decoderSampleRate, 1};
}

std::shared_ptr<SpeechAnalyzer> PocketSphinxSpeechService::makeAnalyzer(std::shared_ptr<SpeechTranscriber> transcriber)
{
    auto* ours = dynamic_cast<PocketSphinxTranscriber*>(transcriber.get());
    if (!ours || !ours->decoder())
        return nullptr;
    return std::make_shared<PocketSphinxAnalyzer>(ours->decoder(), transcriber->results());
}

} // namespace quorvia::platform::native
