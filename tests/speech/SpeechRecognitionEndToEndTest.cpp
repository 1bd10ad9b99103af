#include "platform/linux/sound/PocketSphinxSpeechService.h"
#include "speech/AudioDeviceController.h"
#include "speech/OnDeviceSpeechController.h"
#include "support/EventWait.h"
#include "support/FakeAudioService.h"
#include "support/FakePermissionService.h"
#include "support/QtPrinting.h"
#include "support/TestPlatform.h"
#include "support/WavFileInput.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <mutex>
#include <set>

namespace quorvia {
namespace {

const QString englishModel = "/usr/share/pocketsphinx/model/en-us";

bool run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// The real recogniser, with a window on its input queue so the file input can
// wait for a recogniser slowed down by a busy machine.
class WatchedSpeechService final : public platform::SpeechService {
public:
    explicit WatchedSpeechService(std::shared_ptr<platform::SpeechService> inner) : inner_(std::move(inner)) {}

    bool isAvailable() override { return inner_->isAvailable(); }
    std::optional<QString> supportedLocale(const QString& l) override { return inner_->supportedLocale(l); }
    std::shared_ptr<platform::SpeechTranscriber> makeTranscriber(const QString& l) override
    {
        return inner_->makeTranscriber(l);
    }
    platform::SpeechAssetStatus assetStatus(const platform::SpeechTranscriber& t) override
    {
        return inner_->assetStatus(t);
    }
    std::expected<std::shared_ptr<platform::SpeechAssetInstallationRequest>, platform::SpeechServiceError>
    assetInstallationRequest(const platform::SpeechTranscriber& t) override
    {
        return inner_->assetInstallationRequest(t);
    }
    std::expected<void, platform::SpeechServiceError> reserve(const QString& l) override { return inner_->reserve(l); }
    std::optional<platform::AudioFormat> bestAvailableAudioFormat(const platform::SpeechTranscriber& t) override
    {
        return inner_->bestAvailableAudioFormat(t);
    }
    std::shared_ptr<platform::SpeechAnalyzer> makeAnalyzer(std::shared_ptr<platform::SpeechTranscriber> t) override
    {
        auto analyzer = inner_->makeAnalyzer(std::move(t));
        return analyzer ? std::make_shared<Watched>(analyzer, *this) : nullptr;
    }

    // Whether the recogniser has not started yet or has more than a few buffers to catch up on.
    bool busy() const
    {
        std::lock_guard lock(mutex_);
        return !queue_ || queue_->size() > 8;
    }

private:
    class Watched final : public platform::SpeechAnalyzer {
    public:
        Watched(std::shared_ptr<platform::SpeechAnalyzer> inner, WatchedSpeechService& owner)
            : inner_(std::move(inner)), owner_(owner)
        {
        }
        bool prepareToAnalyze(const platform::AudioFormat& f) override { return inner_->prepareToAnalyze(f); }
        bool start(std::shared_ptr<platform::AnalyzerInputQueue> input) override
        {
            {
                std::lock_guard lock(owner_.mutex_);
                owner_.queue_ = input;
            }
            return inner_->start(std::move(input));
        }
        void cancelAndFinishNow() override { inner_->cancelAndFinishNow(); }

    private:
        std::shared_ptr<platform::SpeechAnalyzer> inner_;
        WatchedSpeechService& owner_;
    };

    std::shared_ptr<platform::SpeechService> inner_;
    mutable std::mutex mutex_;
    std::shared_ptr<platform::AnalyzerInputQueue> queue_;
};

std::set<QString> words(const QString& text)
{
    const auto list = text.toLower().split(QRegularExpression("[^a-z']+"), Qt::SkipEmptyParts);
    return {list.begin(), list.end()};
}

TEST(SpeechRecognitionEndToEnd, SpokenSentenceIsRecognisedThroughTheCapturePipeline)
{
    for (const char* tool : {"espeak-ng", "sox"})
        if (QStandardPaths::findExecutable(tool).isEmpty())
            GTEST_SKIP() << tool << " is not installed (scripts/deps installs it)";
    if (!QDir(englishModel).exists())
        GTEST_SKIP() << "pocketsphinx-en-us is not installed (scripts/deps installs it)";

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString sentence = "we are going to the park today";
    const QString spoken = dir.filePath("spoken.wav");
    const QString padded = dir.filePath("padded.wav");
    ASSERT_TRUE(run("espeak-ng", {"-v", "en-us", "-s", "150", "-w", spoken, sentence}));
    // A microphone's rate, no dither so every run hears the same, and pauses around the words.
    ASSERT_TRUE(run("sox", {"-D", spoken, "-r", "48000", "-b", "16", padded, "pad", "1.0", "1.2"}));

    // The English model stands in under the locale the controller asks for.
    const QString locale = dir.filePath("models/" + OnDeviceSpeechController::locale);
    ASSERT_TRUE(QDir().mkpath(locale));
    ASSERT_TRUE(QFile::link(englishModel + "/en-us", locale + "/acoustic-model"));
    ASSERT_TRUE(QFile::link(englishModel + "/cmudict-en-us.dict", locale + "/dictionary.dict"));
    ASSERT_TRUE(QFile::link(englishModel + "/en-us.lm.bin", locale + "/language-model.lm.bin"));

    test::TestPlatform platform;
    auto audio = std::make_shared<test::FakeAudioService>();
    audio->defaultInput = audio->add("file", "File", 1, 0);
    auto speech = std::make_shared<WatchedSpeechService>(
        std::make_shared<platform::native::PocketSphinxSpeechService>(dir.filePath("models")));
    platform.platform().speechService = speech;
    test::WavFileInput* input = nullptr;
    audio->inputFactory = [&] {
        auto made = std::make_unique<test::WavFileInput>(padded, 4.0);
        made->holdWhile = [&speech] { return speech->busy(); };
        input = made.get();
        return made;
    };
    platform.platform().audioService = audio;
    platform.platform().permissionService = std::make_shared<test::FakePermissionService>();

    AudioDeviceController devices;
    OnDeviceSpeechController controller(devices);
    std::vector<OnDeviceSpeechResult> results;
    int levels = 0;
    QElapsedTimer sinceResult;
    sinceResult.start();
    controller.onResult = [&](const OnDeviceSpeechResult& r) {
        results.push_back(r);
        sinceResult.restart();
    };
    controller.onInputLevel = [&](double) { ++levels; };
    controller.start();

    const auto hasFinal = [&] {
        return std::any_of(results.begin(), results.end(), [](const auto& r) { return r.isFinal; });
    };
    // The whole file, then the final result that its closing pause brings, and
    // nothing more for a while: only time tells that no result is still to come.
    EXPECT_TRUE(test::waitUntil([&] {
        platform.scheduler().settle();
        return input && input->finished() && hasFinal() && results.back().isFinal && sinceResult.elapsed() > 800;
    }, 90000));
    EXPECT_EQ(controller.state(), OnDeviceSpeechState::listening());
    controller.stop();
    platform.scheduler().settle();

    ASSERT_TRUE(hasFinal()) << "no final result";
    EXPECT_TRUE(std::any_of(results.begin(), results.end(), [](const auto& r) { return !r.isFinal; }));
    EXPECT_GT(levels, 30);
    QString heard;
    for (const auto& r : results)
        if (r.isFinal)
            heard += r.text + u' ';
    const auto expected = words(sentence);
    int overlap = 0;
    for (const auto& word : words(heard))
        overlap += expected.count(word);
    EXPECT_GE(overlap * 2, int(expected.size())) << "heard: " << heard.toStdString();
}

TEST(SpeechRecognitionEndToEnd, WithoutAModelTheLocaleIsUnsupported)
{
    QTemporaryDir dir;
    {
        test::TestPlatform platform;
        auto audio = std::make_shared<test::FakeAudioService>();
        audio->add("mic", "Mic", 1, 0);
        platform.platform().audioService = audio;
        platform.platform().permissionService = std::make_shared<test::FakePermissionService>();
        platform.platform().speechService = std::make_shared<platform::native::PocketSphinxSpeechService>(dir.path());
        AudioDeviceController devices;
        OnDeviceSpeechController controller(devices);
        controller.start();
        platform.scheduler().settle();
        EXPECT_EQ(controller.state(), OnDeviceSpeechState::unavailable("当前系统没有可用的设备端中文语音模型。"));
    }
    platform::native::PocketSphinxSpeechService service(dir.path());
    EXPECT_FALSE(service.supportedLocale(OnDeviceSpeechController::locale));
    ASSERT_TRUE(QDir().mkpath(dir.filePath("zh_CN/acoustic-model")));
    QFile(dir.filePath("zh_CN/dictionary.dict")).open(QIODevice::WriteOnly);
    EXPECT_FALSE(service.supportedLocale("zh-Hans-CN")); // no language model yet
    QFile(dir.filePath("zh_CN/language-model.lm")).open(QIODevice::WriteOnly);
    EXPECT_EQ(service.supportedLocale("zh-Hans-CN"), "zh_CN");
}

} // namespace
} // namespace quorvia
