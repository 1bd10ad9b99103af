#pragma once

#include "platform/sound/SpeechService.h"

#include <atomic>
#include <mutex>
#include <thread>

struct ps_decoder_s;
struct cmd_ln_s;

namespace quorvia::platform::native {

// A loaded model, ready to decode: loading takes a while, so it is done once
// while recognition is prepared.
class PocketSphinxDecoder {
public:
    struct Paths {
        QString acousticModel;
        QString dictionary;
        QString languageModel;
    };
    // Nothing when the model cannot be loaded.
    static std::shared_ptr<PocketSphinxDecoder> load(const Paths& paths, double sampleRate);
    ~PocketSphinxDecoder();
    ps_decoder_s* decoder() const { return decoder_; }
    double sampleRate() const { return sampleRate_; }

private:
    PocketSphinxDecoder() = default;
    cmd_ln_s* config_ = nullptr;
    ps_decoder_s* decoder_ = nullptr;
    double sampleRate_ = 0;
};

// Decodes 16 kHz mono audio continuously on its own thread: the running
// hypothesis is sent as a volatile result, and each end of an utterance (or of
// the input) as a final one.
class PocketSphinxAnalyzer final : public SpeechAnalyzer {
public:
    PocketSphinxAnalyzer(std::shared_ptr<PocketSphinxDecoder> decoder, std::shared_ptr<SpeechResultChannel> results);
    ~PocketSphinxAnalyzer() override;

    bool prepareToAnalyze(const AudioFormat& format) override;
    bool start(std::shared_ptr<AnalyzerInputQueue> input) override;
    void cancelAndFinishNow() override;

private:
    void decode();
    void send(bool isFinal);

    std::shared_ptr<PocketSphinxDecoder> model_;
    ps_decoder_s* decoder_ = nullptr;
    std::shared_ptr<SpeechResultChannel> results_;
    double sampleRate_;
    std::shared_ptr<AnalyzerInputQueue> input_;
    std::thread thread_;
    std::mutex threadMutex_;
    std::atomic<bool> cancelled_ = false;
    QString lastHypothesis_;
};

} // namespace quorvia::platform::native
