#include "prompter/ScriptScrollView.h"

#include "../tests/support/MemoryDefaults.h"
#include "platform/Platform.h"
#include "platform/linux/application/QtScheduler.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

using namespace quorvia;

namespace {

QString makeScript(int units)
{
    const QString lines = QString::fromUtf8(
        "## 第一部分：市场分析\n"
        "大家好，今天我们来讨论一下**产品的发布计划**。首先是_市场分析_，然后是`技术路线`。\n"
        "- 用户主要集中在**教育**和*企业培训*两个领域\n"
        "> 他们需要稳定、安静的演讲辅助工具！\n"
        "接下来请看第三页的数据：去年的增长率达到了百分之四十二。\n\n");
    QString out;
    while (out.size() < units)
        out += lines;
    out.truncate(units);
    return out;
}

struct Surface {
    Surface() : image(1000, 700, QImage::Format_ARGB32_Premultiplied)
    {
        view.resize(1000, 700);
        view.setSections({makeScript(20000)}, 0);
        view.setSpokenProgress(3000, 0);
        view.restoreReading(8000);
    }
    ScriptScrollView view;
    QImage image;
};

// One auto-scroll tick: advance (with the section sync) and repaint the whole view.
void autoScrollTick(benchmark::State& state)
{
    Surface surface;
    for (auto _ : state) {
        surface.view.advance(1.0 / 60.0, 260);
        surface.image.fill(Qt::black);
        surface.view.render(&surface.image);
        benchmark::DoNotOptimize(surface.image.constBits());
    }
}

// Reference: the repaint alone, without moving.
void repaintOnly(benchmark::State& state)
{
    Surface surface;
    for (auto _ : state) {
        surface.image.fill(Qt::black);
        surface.view.render(&surface.image);
        benchmark::DoNotOptimize(surface.image.constBits());
    }
}

// Reference: the advance alone, without painting.
void advanceOnly(benchmark::State& state)
{
    Surface surface;
    for (auto _ : state)
        surface.view.advance(1.0 / 60.0, 260);
}

// One more spoken character: repaint the colours and the view.
void spokenProgressStep(benchmark::State& state)
{
    Surface surface;
    int spoken = 3000;
    for (auto _ : state) {
        surface.view.setSpokenProgress(++spoken, 0);
        surface.image.fill(Qt::black);
        surface.view.render(&surface.image);
        benchmark::DoNotOptimize(surface.image.constBits());
    }
}

} // namespace

BENCHMARK(autoScrollTick)->Unit(benchmark::kMicrosecond);
BENCHMARK(repaintOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(advanceOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(spokenProgressStep)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    auto platform = std::make_unique<platform::Platform>();
    platform->schedulerService = std::make_shared<platform::native::QtScheduler>();
    platform->defaultsService = std::make_shared<test::MemoryDefaults>();
    platform::install(std::move(platform));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
