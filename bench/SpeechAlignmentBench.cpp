#include "speech/SpeechAlignmentEngine.h"

#include <benchmark/benchmark.h>

using quorvia::SpeechAlignmentEngine;

namespace {

// A long section of Chinese sentences with punctuation, like a real script.
QString makeSection(int characters)
{
    const QString sentences = QString::fromUtf8(
        "大家好，今天我们来讨论一下产品的发布计划。首先是市场分析，然后是技术路线。"
        "我们的用户主要集中在教育和企业培训两个领域，他们需要稳定、安静的演讲辅助工具！"
        "接下来请看第三页的数据：去年的增长率达到了百分之四十二。");
    QString out;
    out.reserve(characters);
    while (out.size() < characters)
        out += sentences;
    out.truncate(characters);
    return out;
}

void alignInLongSection(benchmark::State& state)
{
    const QString section = makeSection(20000);
    const int previous = 12000;
    // The speech repeats what follows the position, with a few slips.
    QString speech = section.mid(previous, 215); // about 180 kept characters
    speech[40] = QChar(u'啊');
    speech[90] = QChar(u'嗯');
    for (auto _ : state)
        benchmark::DoNotOptimize(SpeechAlignmentEngine::align(speech, section, previous));
}

} // namespace

BENCHMARK(alignInLongSection)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
