#include "speech/OnDeviceSpeechController.h"

#include "platform/sound/AudioConverter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace quorvia {
namespace {

using platform::AudioFormat;
using platform::PCMBuffer;
using Speech = OnDeviceSpeechController;

PCMBuffer filled(AudioFormat format, std::uint32_t frames, const std::function<float(int, std::uint32_t)>& sample)
{
    auto buffer = *PCMBuffer::make(format, frames);
    buffer.setFrameLength(frames);
    for (int c = 0; c < format.channelCount; ++c)
        for (std::uint32_t f = 0; f < frames; ++f)
            buffer.channelData(c)[f] = sample(c, f);
    return buffer;
}

TEST(SpeechAudioBuffer, LevelInDBFS)
{
    const AudioFormat mono{16000, 1};
    EXPECT_EQ(Speech::levelDBFS(filled(mono, 512, [](int, auto) { return 0.0f; })), -120.0);
    EXPECT_DOUBLE_EQ(Speech::levelDBFS(filled(mono, 512, [](int, auto f) { return f % 2 ? 1.0f : -1.0f; })), 0.0);
    EXPECT_NEAR(Speech::levelDBFS(filled(mono, 512, [](int, auto) { return 0.1f; })), -20.0, 1e-6);
    auto empty = filled(mono, 4, [](int, auto) { return 1.0f; });
    empty.setFrameLength(0);
    EXPECT_EQ(Speech::levelDBFS(empty), -120.0);
    // Stereo averages the squares of both channels together: (1 + 0) / 2.
    EXPECT_NEAR(Speech::levelDBFS(filled({16000, 2}, 256, [](int c, auto) { return c == 0 ? 1.0f : 0.0f; })),
                20 * std::log10(std::sqrt(0.5)), 1e-9);
}

TEST(SpeechAudioBuffer, ConversionCapacityAndItsLimits)
{
    EXPECT_EQ(Speech::conversionCapacity(1024, 48000, 16000), 350u);
    EXPECT_EQ(Speech::conversionCapacity(1024, 16000, 16000), 1032u);
    EXPECT_EQ(Speech::conversionCapacity(0, 48000, 16000), 8u);
    EXPECT_FALSE(Speech::conversionCapacity(1024, 0, 16000));
    EXPECT_FALSE(Speech::conversionCapacity(1024, 16000, 0));
    EXPECT_FALSE(Speech::conversionCapacity(1024, 1e-300, 16000));
    EXPECT_FALSE(Speech::conversionCapacity(1024, 16000, std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(Speech::conversionCapacity(1u << 31, 1000, 4000)); // would reach 2^32 frames

    // A rate of 0 in the captured buffer drops it instead of casting out of range.
    auto converter = platform::AudioConverter::make({48000, 2}, {16000, 1});
    auto broken = filled({0, 1}, 16, [](int, auto) { return 0.5f; });
    EXPECT_FALSE(Speech::convertBuffer(broken, {16000, 1}, converter.get()));
}

TEST(SpeechAudioBuffer, EqualFormatsCopyAndOtherLayoutsConvert)
{
    const auto source = filled({16000, 2}, 1024, [](int c, auto f) { return float(c) + float(f) / 2048.0f; });
    const auto copy = Speech::convertBuffer(source, {16000, 2}, nullptr);
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->frameLength(), 1024u);
    EXPECT_EQ(copy->format(), source.format());
    for (int c = 0; c < 2; ++c)
        EXPECT_TRUE(std::equal(source.channelData(c), source.channelData(c) + 1024, copy->channelData(c)));

    // Same rate, one channel: the channels are averaged; room for 1032 frames.
    auto converter = platform::AudioConverter::make({16000, 2}, {16000, 1});
    const auto mixed = Speech::convertBuffer(source, {16000, 1}, converter.get());
    ASSERT_TRUE(mixed);
    EXPECT_EQ(mixed->frameCapacity(), 1032u);
    EXPECT_GE(mixed->frameLength(), 1023u);
    EXPECT_FLOAT_EQ(mixed->channelData(0)[10], 0.5f + 10.0f / 2048.0f);
}

TEST(SpeechAudioBuffer, ResamplingAcrossBuffersKeepsLengthAndPitch)
{
    auto converter = platform::AudioConverter::make({48000, 1}, {16000, 1});
    std::vector<float> out;
    std::uint32_t frame = 0;
    for (int b = 0; b < 47; ++b) {
        const auto chunk = filled({48000, 1}, 1024, [&](int, auto f) {
            return float(0.5 * std::sin(2 * M_PI * 440.0 * (frame + f) / 48000.0));
        });
        frame += 1024;
        const auto converted = Speech::convertBuffer(chunk, {16000, 1}, converter.get());
        ASSERT_TRUE(converted);
        out.insert(out.end(), converted->channelData(0), converted->channelData(0) + converted->frameLength());
    }
    EXPECT_NEAR(double(out.size()), frame / 3.0, 4.0);
    std::vector<double> crossings;
    for (std::size_t i = 1; i < out.size(); ++i)
        if (out[i - 1] <= 0 && out[i] > 0)
            crossings.push_back(double(i - 1) + out[i - 1] / double(out[i - 1] - out[i]));
    const double frequency = (crossings.size() - 1) * 16000.0 / (crossings.back() - crossings.front());
    EXPECT_NEAR(frequency, 440.0, 0.5);
    float peak = 0;
    for (std::size_t i = 100; i < out.size(); ++i)
        peak = std::max(peak, std::abs(out[i]));
    EXPECT_NEAR(peak, 0.5f, 0.03f);
}

} // namespace
} // namespace quorvia
