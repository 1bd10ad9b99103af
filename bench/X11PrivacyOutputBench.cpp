// The privacy output on an X server with two outputs side by side: the
// laptop's screen at 0,0 and the projector at 1920,0, each 1920x1080. The
// whole engine runs on the real clock and threads with X11 capture, and the
// audience window sits on the projector, so its repaints are damage of the
// root window as a real desktop has them. Each figure beside its reference
// from the same run:
//   still screen, output on: CPU of this process and of the X server over 10 s
//     (reference: output off);
//   prompter auto-scrolling, output on: pictures per second and CPU (reference:
//     auto-scroll with the output off);
//   a change on the laptop's screen to the audience window, read back from
//     the server: worst of 10 (reference: the frame interval).
// The server is the run's two-output Xorg when QUORVIA_TEST_TWO_OUTPUT_DISPLAY
// names one, else a private one (support/TwoOutputXServer.h).

#include "platform/capture/VideoSurface.h"
#include "platform/desktop/Window.h"
#include "platform/linux/capture/LinuxCaptureService.h"
#include "platform/linux/application/QtScheduler.h"
#include "platform/desktop/ScreenSpace.h"
#include "privacy/AudienceCanvasView.h"
#include "privacy/ScreenMirrorEngine.h"
#include "prompter/ScriptScrollView.h"
#include "support/FakeDisplayService.h"
#include "support/FakePermissionService.h"
#include "support/FakePointerService.h"
#include "support/FakeProcessService.h"
#include "support/FakeWorkspace.h"
#include "support/TestPlatform.h"
#include "support/TwoOutputXServer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <xcb/xcb.h>

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

using namespace quorvia;

namespace {

constexpr int outputWidth = 1920;
constexpr int outputHeight = 1080;

qint64 serverPid = 0;

// The X server: the run's two-output one when named, else one of our own.
class Server {
public:
    bool start()
    {
        display_ = qEnvironmentVariable(test::TwoOutputXServer::environmentVariable);
        if (!display_.isEmpty()) {
            serverPid = findServer(display_);
            return serverPid != 0;
        }
        own_ = std::make_unique<test::TwoOutputXServer>();
        display_ = own_->name();
        serverPid = own_->pid();
        return !display_.isEmpty();
    }
    const QString& display() const { return display_; }
    bool isOwn() const { return own_ != nullptr; }

private:
    // The process of an X server started with the display as an argument.
    static qint64 findServer(const QString& display)
    {
        for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            bool number = false;
            const qint64 pid = entry.toLongLong(&number);
            if (!number)
                continue;
            QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QList<QByteArray> args = file.readAll().split('\0');
            if (args.isEmpty() || !(args[0].endsWith("Xorg") || args[0].endsWith("Xvfb")))
                continue;
            if (args.contains(display.toLatin1()))
                return pid;
        }
        return 0;
    }

    QString display_;
    std::unique_ptr<test::TwoOutputXServer> own_;
};

double processSeconds()
{
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) + double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

double serverSeconds()
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(serverPid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray stat = file.readAll();
    // Fields after the command's closing parenthesis; utime and stime are the 12th and 13th.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return double(fields.value(11).toLongLong() + fields.value(12).toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

void runLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool waitFor(const std::function<bool()>& condition, int timeoutMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        // Sleeping between looks, as the application's loop does.
        QEventLoop loop;
        QTimer::singleShot(1, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// Counts the pictures the audience window is handed.
class CountingSurface final : public platform::VideoSurface {
public:
    using VideoSurface::VideoSurface;
    void enqueue(const platform::SampleBuffer& buffer) override
    {
        pictures += buffer.hasImage();
        VideoSurface::enqueue(buffer);
    }
    static inline std::atomic<int> pictures{0};
};

// The engine over fakes for everything but the clock, the capture and the
// X server: the laptop's screen is the built-in display, the projector the
// audience display.
struct Services {
    Services()
    {
        auto& p = env.platform();
        p.schedulerService = std::make_shared<platform::native::QtScheduler>();
        platform::Screen builtIn = test::FakeDisplayService::builtIn(1);
        builtIn.frame = builtIn.visibleFrame = platform::Rect(0, 0, outputWidth, outputHeight);
        displays->setScreens({builtIn, test::FakeDisplayService::external(
                                           2, QStringLiteral("Projector"),
                                           platform::Rect(outputWidth, 0, outputWidth, outputHeight))});
        process->pid = QCoreApplication::applicationPid();
        pointer->location = {300, 300};
        p.displayService = displays;
        p.captureService = std::make_shared<platform::native::LinuxCaptureService>();
        p.permissionService = std::make_shared<test::FakePermissionService>();
        p.pointerService = pointer;
        p.processService = process;
        p.workspaceService = std::make_shared<test::FakeWorkspace>();
        previousFactory = platform::VideoSurface::setFactory(
            [](QWidget* parent) -> platform::VideoSurface* { return new CountingSurface(parent); });
    }
    ~Services() { platform::VideoSurface::setFactory(previousFactory); }

    test::TestPlatform env;
    std::shared_ptr<test::FakeDisplayService> displays = std::make_shared<test::FakeDisplayService>();
    std::shared_ptr<test::FakeProcessService> process = std::make_shared<test::FakeProcessService>();
    std::shared_ptr<test::FakePointerService> pointer = std::make_shared<test::FakePointerService>();
    platform::VideoSurface::Factory previousFactory;
};

struct Presenting : Services {
    Presenting()
    {

        // Another program's window to show on the laptop's screen, and the
        // prompter, private.
        desktop = xcb_connect(nullptr, nullptr);
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(desktop)).data;
        const xcb_window_t background = xcb_generate_id(desktop);
        const std::uint32_t blue = 0xff285aa0u;
        xcb_create_window(desktop, XCB_COPY_FROM_PARENT, background, screen->root, 0, 0, outputWidth, outputHeight, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL, &blue);
        xcb_map_window(desktop, background);
        xcb_flush(desktop);
        prompter.setSharingType(platform::SharingType::none);
        auto* view = new ScriptScrollView;
        QString text;
        for (int i = 0; i < 400; ++i)
            text += QStringLiteral("第%1段：大家好，今天我们来讨论产品的发布计划与市场分析，以及技术路线。\n").arg(i);
        view->setSections({text}, 0);
        prompter.setContentView(view);
        prompter.setFrame(platform::fromQtGlobal(QRectF(560, 300, 800, 500)));
        prompter.orderFront();
        scriptView = view;
        QObject::connect(&scrolling, &QTimer::timeout, view, [view] { view->advance(1.0 / 60.0, 260); });
        runLoopFor(300);

        engine.arePrivateWindowsWithinSafeBounds = [] { return true; };
        engine.shouldSuppressPointer = [](platform::Point) { return false; };
        engine.setSelectedExternalDisplayID(2);
    }
    ~Presenting()
    {
        setOutput(false);
        bool done = false;
        engine.shutdown([&] { done = true; });
        waitFor([&] { return done; });
        runLoopFor(100);
        xcb_disconnect(desktop);
    }

    bool setOutput(bool on)
    {
        engine.setPrivacyOutputEnabled(on);
        return waitFor([&] {
            return engine.currentState() == (on ? PresentationSafetyState::live() : PresentationSafetyState::disabled());
        });
    }

    // Auto-scroll as the prompter runs it: a step every 1/60 s at 260 characters a minute.
    void scroll(bool on)
    {
        if (on)
            scrolling.start(16);
        else
            scrolling.stop();
    }

    xcb_connection_t* desktop = nullptr;
    platform::Window prompter{platform::Rect(0, 0, 800, 500), platform::WindowStyle::borderless};
    ScriptScrollView* scriptView = nullptr;
    QTimer scrolling;
    ScreenMirrorEngine engine;
};

Presenting* presenting = nullptr;

struct Usage {
    double processPercent;
    double serverPercent;
    double picturesPerSecond;
};

Usage measure(int ms)
{
    runLoopFor(500);
    CountingSurface::pictures = 0;
    const double process0 = processSeconds();
    const double server0 = serverSeconds();
    QElapsedTimer timer;
    timer.start();
    runLoopFor(ms);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    return {100 * (processSeconds() - process0) / seconds, 100 * (serverSeconds() - server0) / seconds,
            CountingSurface::pictures / seconds};
}

void report(benchmark::State& state, const Usage& usage)
{
    state.counters["cpu_percent_quorvia"] = usage.processPercent;
    state.counters["cpu_percent_x_server"] = usage.serverPercent;
    state.counters["pictures_per_second"] = usage.picturesPerSecond;
}

void stillScreen(benchmark::State& state)
{
    const bool outputOn = state.range(0) != 0;
    for (auto _ : state) {
        if (!presenting->setOutput(outputOn)) {
            state.SkipWithError("the output did not reach its state");
            return;
        }
        report(state, measure(10000));
    }
}
BENCHMARK(stillScreen)->ArgName("output_on")->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);

void autoScroll(benchmark::State& state)
{
    const bool outputOn = state.range(0) != 0;
    for (auto _ : state) {
        if (!presenting->setOutput(outputOn)) {
            state.SkipWithError("the output did not reach its state");
            return;
        }
        presenting->scroll(true);
        report(state, measure(10000));
        presenting->scroll(false);
    }
}
BENCHMARK(autoScroll)->ArgName("output_on")->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);

// Another client paints a square on the laptop's screen; a reader polls the
// same place on the projector until the audience window shows the colour.
void changeToAudience(benchmark::State& state)
{
    for (auto _ : state) {
        if (!presenting->setOutput(true)) {
            state.SkipWithError("the output did not reach its state");
            return;
        }
        xcb_connection_t* painter = xcb_connect(nullptr, nullptr);
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(painter)).data;
        const xcb_window_t square = xcb_generate_id(painter);
        const std::uint32_t black = 0xff000000u;
        xcb_create_window(painter, XCB_COPY_FROM_PARENT, square, screen->root, 100, 100, 160, 120, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL, &black);
        xcb_map_window(painter, square);
        const xcb_gcontext_t gc = xcb_generate_id(painter);
        xcb_create_gc(painter, gc, square, 0, nullptr);
        std::free(xcb_get_input_focus_reply(painter, xcb_get_input_focus(painter), nullptr));
        runLoopFor(500);

        xcb_connection_t* reader = xcb_connect(nullptr, nullptr);
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(reader)).data->root;
        double worst = 0;
        double total = 0;
        const int changes = 10;
        for (int i = 0; i < changes; ++i) {
            const std::uint32_t colour = (i % 2) ? 0xffe03020u : 0xff20c040u;
            std::atomic<bool> seen{false};
            std::atomic<double> latency{0};
            std::atomic<bool> painted{false};
            std::chrono::steady_clock::time_point paintedAt;
            std::thread watch([&] {
                // The square's middle, where the audience window shows it.
                const auto begin = std::chrono::steady_clock::now();
                while (std::chrono::steady_clock::now() - begin < std::chrono::seconds(1)) {
                    auto* reply = xcb_get_image_reply(
                        reader,
                        xcb_get_image(reader, XCB_IMAGE_FORMAT_Z_PIXMAP, root, outputWidth + 180, 160, 1, 1, ~0u),
                        nullptr);
                    const bool match = reply && xcb_get_image_data_length(reply) >= 4
                                       && (*reinterpret_cast<const std::uint32_t*>(xcb_get_image_data(reply))
                                           & 0xffffffu)
                                              == (colour & 0xffffffu);
                    std::free(reply);
                    if (match && painted) {
                        latency = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now()
                                                                            - paintedAt)
                                      .count();
                        seen = true;
                        return;
                    }
                    std::this_thread::sleep_for(std::chrono::microseconds(500));
                }
            });
            xcb_change_gc(painter, gc, XCB_GC_FOREGROUND, &colour);
            const xcb_rectangle_t all{0, 0, 160, 120};
            paintedAt = std::chrono::steady_clock::now();
            painted = true;
            xcb_poly_fill_rectangle(painter, square, gc, 1, &all);
            xcb_flush(painter);
            // The application's loop runs while the reader waits.
            waitFor([&] { return seen.load(); }, 1200);
            watch.join();
            const double ms = seen ? latency.load() : 1000.0;
            worst = std::max(worst, ms);
            total += ms;
            runLoopFor(150 + 37 * i % 50);
        }
        xcb_disconnect(reader);
        xcb_disconnect(painter);
        state.counters["worst_ms"] = worst;
        state.counters["mean_ms"] = total / changes;
        state.counters["frame_interval_ms"] = 1000.0 / 30.0;
    }
}
BENCHMARK(changeToAudience)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    Server server;
    if (!server.start()) {
        std::fputs("could not reach or start a two-output X server\n", stderr);
        return 1;
    }
    qputenv("DISPLAY", server.display().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "xcb");
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    std::fprintf(stderr, "X server %s (%s two-output Xorg), pid %lld\n", qPrintable(server.display()),
                 server.isOwn() ? "a private" : "the run's", serverPid);
    {
        Presenting scene;
        presenting = &scene;
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        presenting = nullptr;
    }
    return 0;
}
