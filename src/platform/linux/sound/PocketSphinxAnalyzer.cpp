#include "platform/linux/sound/PocketSphinxAnalyzer.h"

#include <err.h>
#include <pocketsphinx.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace quorvia::platform::native {

std::shared_ptr<PocketSphinxDecoder> PocketSphinxDecoder::load(const Paths& paths, double sampleRate)
{
    err_set_logfp(nullptr); // the application writes no log
    const QByteArray hmm = paths.acousticModel.toLocal8Bit();
    const QByteArray dict = paths.dictionary.toLocal8Bit();
    const QByteArray lm = paths.languageModel.toLocal8Bit();
    const QByteArray rate = QByteArray::number(int(sampleRate));
    std::shared_ptr<PocketSphinxDecoder> loaded(new PocketSphinxDecoder);
    loaded->sampleRate_ = sampleRate;
    loaded->config_ = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", hmm.constData(), "-dict", dict.constData(), "-lm",
                                  lm.constData(), "-samprate", rate.constData(), "-logfn", "/dev/null", nullptr);
    if (!loaded->config_)
        return nullptr;
    loaded->decoder_ = ps_init(loaded->config_);
    if (!loaded->decoder_)
        return nullptr;
    return loaded;
}

PocketSphinxDecoder::~PocketSphinxDecoder()
{
    if (decoder_)
        ps_free(decoder_);
    if (config_)
        cmd_ln_free_r(config_);
}

PocketSphinxAnalyzer::PocketSphinxAnalyzer(std::shared_ptr<PocketSphinxDecoder> decoder,
                                           std::shared_ptr<SpeechResultChannel> results)
    : model_(std::move(decoder)), decoder_(model_ ? model_->decoder() : nullptr), results_(std::move(results)),
      sampleRate_(model_ ? model_->sampleRate() : 0)
{
}

PocketSphinxAnalyzer::~PocketSphinxAnalyzer() { cancelAndFinishNow(); }

bool PocketSphinxAnalyzer::prepareToAnalyze(const AudioFormat& format)
{
    return decoder_ && format == AudioFormat{sampleRate_, 1};
}

bool PocketSphinxAnalyzer::start(std::shared_ptr<AnalyzerInputQueue> input)
{
    std::lock_guard lock(threadMutex_);
    if (!decoder_ || !input || thread_.joinable() || cancelled_)
        return false;
    if (ps_start_utt(decoder_) < 0)
        return false;
    input_ = std::move(input);
    thread_ = std::thread([this] { decode(); });
    return true;
}

void PocketSphinxAnalyzer::send(bool isFinal)
{
    const char* hypothesis = ps_get_hyp(decoder_, nullptr);
    const QString text = QString::fromUtf8(hypothesis ? hypothesis : "").trimmed();
    if (!text.isEmpty() && (isFinal || text != lastHypothesis_))
        results_->send({text, isFinal});
    lastHypothesis_ = isFinal ? QString() : text;
}

void PocketSphinxAnalyzer::decode()
{
    std::vector<int16> samples;
    bool inUtterance = false;
    // Reading the hypothesis costs a search, so the volatile one goes out four times a second.
    const auto volatileEvery = std::size_t(sampleRate_ / 4);
    std::size_t sinceVolatile = 0;
    while (!cancelled_) {
        auto buffer = input_->next();
        if (!buffer || cancelled_)
            break;
        const float* data = buffer->channelData(0);
        samples.resize(buffer->frameLength());
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = int16(std::lround(std::clamp(data[i], -1.0f, 1.0f) * 32767.0f));
        if (ps_process_raw(decoder_, samples.data(), samples.size(), FALSE, FALSE) < 0) {
            results_->fail();
            return;
        }
        const bool inSpeech = ps_get_in_speech(decoder_) != 0;
        if (inSpeech) {
            inUtterance = true;
            sinceVolatile += samples.size();
            if (sinceVolatile >= volatileEvery) {
                sinceVolatile = 0;
                send(false);
            }
        } else if (inUtterance) {
            sinceVolatile = 0;
            ps_end_utt(decoder_);
            send(true);
            inUtterance = false;
            if (ps_start_utt(decoder_) < 0) {
                results_->fail();
                return;
            }
        }
    }
    if (cancelled_)
        return;
    ps_end_utt(decoder_);
    if (inUtterance)
        send(true);
    results_->finish();
}

void PocketSphinxAnalyzer::cancelAndFinishNow()
{
    std::lock_guard lock(threadMutex_);
    cancelled_ = true;
    if (input_)
        input_->cancel();
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach();
        else
            thread_.join();
    }
}

} // namespace quorvia::platform::native
