#pragma once

#include "model/PromptScript.h"
#include "platform/core/NotificationCenter.h"
#include "speech/AudioDeviceController.h"
#include "speech/OnDeviceSpeechController.h"
#include "speech/SpeechAutomationController.h"
#include "support/FakeAudioService.h"
#include "support/FakePermissionService.h"
#include "support/FakeSpeechService.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <ostream>
#include <vector>

namespace quorvia {

inline void PrintTo(const SpeechAutomationStatus& status, std::ostream* out)
{
    *out << status.title().toStdString() << " / " << status.detail().toStdString();
}

namespace test {

// Speech automation over the real recogniser, whose platform is scripted: the
// fake speech service answers the preparation, the test sends results through
// the transcriber's channel, and the manual clock stands for uptime.
struct SpeechAutomationRig {
    static inline const QString opening = QStringLiteral("大家好，今天我们来讨论一下产品的发布计划。首先是市场分析，然后是技术路线。");
    static inline const QString second = QStringLiteral("接下来看看用户反馈，大部分用户喜欢新的界面设计。");
    static inline const QString closing = QStringLiteral("最后总结一下今天的内容，谢谢大家的聆听。");

    SpeechAutomationRig()
    {
        audio->defaultInput = audio->add(QStringLiteral("mic"), QStringLiteral("Mic"), 1, 0);
        speakerID = audio->add(QStringLiteral("speaker"), QStringLiteral("Speaker"), 0, 2);
        audio->defaultOutput = speakerID;
        env.platform().audioService = audio;
        env.platform().permissionService = permissions;
        env.platform().speechService = speech;
        script = std::make_unique<PromptScript>(env.defaults());
        script->replaceText(QStringLiteral("1\n") + opening + QStringLiteral("\n---\n2\n") + second + QStringLiteral("\n---\n3\n") + closing);
        script->setPromptMode(PromptMode::wordFollow);
        build();
    }

    void build()
    {
        automation.reset();
        recognizer.reset();
        devices = std::make_unique<AudioDeviceController>(env.defaults());
        recognizer = std::make_unique<OnDeviceSpeechController>(*devices);
        automation = std::make_unique<SpeechAutomationController>(*script, *recognizer, *devices);
        auto& center = platform::NotificationCenter::defaultCenter();
        statusObservation = center.observe(NotificationName::speechAutomationStatusChanged, automation.get(),
                                           [this](const platform::Notification&) {
                                               ++statusPosts;
                                               statuses.push_back(automation->status());
                                           });
        scriptObservation = center.observe(NotificationName::promptScriptChanged, script.get(),
                                           [this](const platform::Notification& n) {
                                               sources.push_back(n.userInfo.value(PromptScriptNotificationKey::eventSource).toString());
                                           });
    }

    void settle() { env.scheduler().settle(); }
    void after(double seconds)
    {
        env.scheduler().advance(seconds);
        settle();
    }

    // Live, started and prepared.
    void startFollowing()
    {
        automation->setSafetyState(PresentationSafetyState::live());
        ASSERT_TRUE(automation->startSelectedMode());
        settle();
        ASSERT_EQ(recognizer->state(), OnDeviceSpeechState::listening());
    }

    std::shared_ptr<platform::SpeechResultChannel> channel() { return speech->transcribers.back()->results(); }

    void say(const QString& text, bool isFinal = true)
    {
        channel()->send({text, isFinal});
        settle();
    }

    // One captured buffer of a steady tone whose level is `dBFS`.
    void hear(double dBFS)
    {
        const double amplitude = std::pow(10.0, dBFS / 20.0);
        auto buffer = *platform::PCMBuffer::make({48000, 1}, 1024);
        buffer.setFrameLength(1024);
        for (std::uint32_t i = 0; i < 1024; ++i)
            buffer.channelData(0)[i] = static_cast<float>(amplitude);
        audio->lastInput()->deliver(buffer);
        settle();
    }

    int countOf(const QString& source) const { return static_cast<int>(std::count(sources.begin(), sources.end(), source)); }

    TestPlatform env;
    std::shared_ptr<FakeAudioService> audio = std::make_shared<FakeAudioService>();
    std::shared_ptr<FakePermissionService> permissions = std::make_shared<FakePermissionService>();
    std::shared_ptr<FakeSpeechService> speech = std::make_shared<FakeSpeechService>();
    platform::AudioDeviceID speakerID = 0;
    std::unique_ptr<PromptScript> script;
    std::unique_ptr<AudioDeviceController> devices;
    std::unique_ptr<OnDeviceSpeechController> recognizer;
    std::unique_ptr<SpeechAutomationController> automation;
    platform::Observation statusObservation;
    platform::Observation scriptObservation;
    int statusPosts = 0;
    std::vector<SpeechAutomationStatus> statuses;
    std::vector<QString> sources;
};

} // namespace test
} // namespace quorvia
