#include "prompter/MarkdownPromptDocument.h"

#include "platform/core/Text.h"

#include <benchmark/benchmark.h>

using quorvia::MarkdownPromptDocument;

namespace {

// A long block of Chinese script with the light Markdown a speaker writes.
QString makeMarkdownBlock(int characters)
{
    const QString lines = QString::fromUtf8(
        "## 第一部分：市场分析\n"
        "大家好，今天我们来讨论一下**产品的发布计划**。首先是_市场分析_，然后是`技术路线`。\n"
        "- 用户主要集中在**教育**和*企业培训*两个领域\n"
        "> 他们需要稳定、安静的演讲辅助工具！\n"
        "接下来请看第三页的数据：去年的增长率达到了百分之四十二。👍🏽\n\n");
    QString out;
    out.reserve(characters);
    while (out.size() < characters)
        out += lines;
    out.truncate(characters);
    return out;
}

QString makePlainBlock(int characters)
{
    QString out = makeMarkdownBlock(characters);
    for (QChar marker : QStringLiteral("#*_`>-"))
        out.replace(marker, QChar(u'文'));
    return out;
}

void renderMarkdownBlock(benchmark::State& state)
{
    const QString block = makeMarkdownBlock(5000);
    for (auto _ : state)
        benchmark::DoNotOptimize(MarkdownPromptDocument::render(block));
    state.SetItemsProcessed(state.iterations() * block.size());
}

// Reference: the same length without any markup.
void renderPlainBlock(benchmark::State& state)
{
    const QString block = makePlainBlock(5000);
    for (auto _ : state)
        benchmark::DoNotOptimize(MarkdownPromptDocument::render(block));
    state.SetItemsProcessed(state.iterations() * block.size());
}

// Reference: cutting the block into user-perceived characters, the floor of any rendering.
void graphemeBoundariesOfBlock(benchmark::State& state)
{
    const QString block = makeMarkdownBlock(5000);
    for (auto _ : state)
        benchmark::DoNotOptimize(quorvia::platform::text::graphemeBoundaries(block));
    state.SetItemsProcessed(state.iterations() * block.size());
}

} // namespace

BENCHMARK(renderMarkdownBlock)->Unit(benchmark::kMicrosecond);
BENCHMARK(renderPlainBlock)->Unit(benchmark::kMicrosecond);
BENCHMARK(graphemeBoundariesOfBlock)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
