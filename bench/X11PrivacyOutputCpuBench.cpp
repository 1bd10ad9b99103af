// CPU of the running application and of the X server while the privacy output
// runs on a laptop screen and a projector, each case on a private two-output
// Xorg for 10 s, as the share of one core each process used.
//
// The reference is a floor program measured in the same case on the same
// server: the least any mirror can do, a shared-memory grab of the laptop
// screen put into a window on the projector 30 times a second. It is this
// executable run as `--floor DISPLAY`, so its CPU is a process of its own.
// Beside it, what a copy made by the X server itself costs (`--server-copy`).
//   output_off_still: the application with the output off (no reference);
//   still_beside_floor: a still laptop screen;
//   changing_beside_floor: a small window animating at 30 frames a second;
//   output_live_auto_scroll: the prompter scrolling (its reference is the
//     still screen).
// The application's main-thread wake-ups a second are counted too.
#include "support/ApplicationControls.h"
#include "support/EventWait.h"
#include "support/RunningApplication.h"
#include "support/TwoOutputXServer.h"

#include <QColor>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>

#include <benchmark/benchmark.h>

#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

using quorvia::test::RunningApplication;
using quorvia::test::TwoOutputXServer;
namespace controls = quorvia::test::controls;

namespace {

constexpr int measureSeconds = 10;
constexpr int W = TwoOutputXServer::outputWidth;
constexpr int H = TwoOutputXServer::outputHeight;

// User and system time of a process so far, in seconds.
double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    // Fields after the command name, which may hold spaces, start past its ')'.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    return double(fields[11].toLongLong() + fields[12].toLongLong()) / double(::sysconf(_SC_CLK_TCK));
}

// How often a process's main thread has gone to sleep and woken so far.
long long mainThreadWakes(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/task/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("voluntary_ctxt_switches:"))
            return line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
    return 0;
}

void pause(int ms)
{
    quorvia::test::runEventsFor(ms);
}

// A small window on the laptop screen that draws a new picture 30 times a
// second, like a video the speaker shows: this executable run as
// `--animate DISPLAY`, until killed.
int runAnimation(const char* display)
{
    constexpr int w = 240, h = 180;
    xcb_connection_t* c = xcb_connect(display, nullptr);
    if (xcb_connection_has_error(c))
        return 1;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    const std::uint32_t values[] = {screen->black_pixel, 1};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 1500, 760, w, h, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT,
                      values);
    xcb_map_window(c, window);
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, window, 0, nullptr);
    std::vector<std::uint32_t> pixels(std::size_t(w) * h);
    auto next = std::chrono::steady_clock::now();
    for (int frame = 0; !xcb_connection_has_error(c); ++frame) {
        next += std::chrono::microseconds(1000000 / 30);
        const QRgb colour = QColor::fromHsv((frame * 7) % 360, 200, 220).rgb();
        const int bar = (frame * 6) % w;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                pixels[std::size_t(y) * w + x] = x >= bar && x < bar + 24 ? 0xffffffffu : colour;
        xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, window, gc, w, h, 0, 0, 0, screen->root_depth,
                      std::uint32_t(pixels.size() * 4), reinterpret_cast<const std::uint8_t*>(pixels.data()));
        xcb_flush(c);
        std::this_thread::sleep_until(next);
    }
    return 0;
}

struct Share {
    double process = 0;
    double server = 0;
    double wakes = 0;
};

// The CPU shares of a process and the server over the measuring time.
Share measureFor(qint64 pid, qint64 serverPid)
{
    const double processBefore = cpuSeconds(pid);
    const double serverBefore = cpuSeconds(serverPid);
    const long long wakesBefore = mainThreadWakes(pid);
    pause(measureSeconds * 1000);
    return {100 * (cpuSeconds(pid) - processBefore) / measureSeconds,
            100 * (cpuSeconds(serverPid) - serverBefore) / measureSeconds,
            double(mainThreadWakes(pid) - wakesBefore) / measureSeconds};
}

// A reference program on the server (`--floor` or `--server-copy`), measured.
Share measureReference(const TwoOutputXServer& server, const QString& mode)
{
    QProcess floor;
    floor.start(QCoreApplication::applicationFilePath(), {mode, server.name()});
    if (!floor.waitForStarted(5000))
        return {};
    pause(1500);
    const Share share = measureFor(floor.processId(), server.pid());
    floor.kill();
    floor.waitForFinished(5000);
    return share;
}

enum class Output { off, live };
enum class Motion { still, animation, autoScroll };

void measure(benchmark::State& state, Output output, Motion motion, bool besideFloor)
{
    TwoOutputXServer server;
    if (server.name().isEmpty()) {
        state.SkipWithError(qPrintable(server.failure()));
        return;
    }
    RunningApplication app(server.name());
    app.tool(QStringLiteral("xsetroot"), {QStringLiteral("-solid"), QStringLiteral("#004040")});
    app.seedScript(RunningApplication::scrollingTalk());
    if (!app.start()) {
        state.SkipWithError("the application did not start");
        return;
    }
    const auto islandWindow = app.waitWindow(QString());
    pause(1500);
    // The prompter in its own window, as a speaker who scrolls has it.
    app.click(*islandWindow, controls::island::detach.x(), controls::island::detach.y(), 1000);
    const auto prompter = app.waitWindow(QStringLiteral("^私密提词窗口"));
    if (prompter)
        app.moveWindow(*prompter, {100, 500});
    if (output == Output::live)
        app.click(*islandWindow, controls::island::privacyButton.x(), controls::island::privacyButton.y(), 2000);
    if (motion == Motion::autoScroll && prompter)
        app.click(*prompter, controls::prompter::autoScroll.x(), controls::prompter::autoScroll.y(), 500);
    // The pointer rests off the laptop screen, as on a still screen.
    app.tool(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QString::number(2 * W - 5), QString::number(H - 5)});
    QProcess animation;
    if (motion == Motion::animation)
        animation.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--animate"), server.name()});
    pause(1500);

    for (auto _ : state) {
        const Share quorvia = measureFor(app.pid(), server.pid());
        state.SetIterationTime(measureSeconds);
        state.counters["app_cpu_percent"] = quorvia.process;
        state.counters["app_xserver_cpu_percent"] = quorvia.server;
        state.counters["app_main_wakes_per_s"] = quorvia.wakes;
        if (besideFloor) {
            app.quit();
            const Share floor = measureReference(server, QStringLiteral("--floor"));
            state.counters["floor_cpu_percent"] = floor.process;
            state.counters["floor_xserver_cpu_percent"] = floor.server;
            const Share copy = measureReference(server, QStringLiteral("--server-copy"));
            state.counters["server_copy_cpu_percent"] = copy.process;
            state.counters["server_copy_xserver_cpu_percent"] = copy.server;
            const double floorTotal = floor.process + floor.server;
            state.counters["app_total_over_floor"] = floorTotal > 0 ? (quorvia.process + quorvia.server) / floorTotal : 0;
        }
    }
    if (app.isRunning())
        app.quit();
    if (animation.state() != QProcess::NotRunning) {
        animation.kill();
        animation.waitForFinished(5000);
    }
}

// The floor: grab the laptop screen into shared memory and put it into a
// window covering the projector, 30 times a second, until killed.
int runFloor(const char* display)
{
    xcb_connection_t* c = xcb_connect(display, nullptr);
    if (xcb_connection_has_error(c))
        return 1;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    const std::uint32_t values[] = {screen->black_pixel, 1};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, W, 0, W, H, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(c, window);
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, window, 0, nullptr);
    const int id = shmget(IPC_PRIVATE, std::size_t(W) * H * 4, IPC_CREAT | 0600);
    if (id < 0)
        return 1;
    const xcb_shm_seg_t segment = xcb_generate_id(c);
    xcb_shm_attach(c, segment, std::uint32_t(id), 0);
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    shmctl(id, IPC_RMID, nullptr);
    auto next = std::chrono::steady_clock::now();
    while (!xcb_connection_has_error(c)) {
        next += std::chrono::microseconds(1000000 / 30);
        std::free(xcb_shm_get_image_reply(
            c, xcb_shm_get_image(c, screen->root, 0, 0, W, H, ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, segment, 0), nullptr));
        xcb_shm_put_image(c, window, gc, W, H, 0, 0, W, H, 0, 0, screen->root_depth, XCB_IMAGE_FORMAT_Z_PIXMAP, 0,
                          segment, 0);
        xcb_flush(c);
        std::this_thread::sleep_until(next);
    }
    return 0;
}

// What a mirror made by the server itself costs: the laptop screen copied
// from the root (with the windows on it) into a window on the projector 30
// times a second, clipped so a private place is left out, no pixel passing
// through the client.
int runServerCopy(const char* display)
{
    xcb_connection_t* c = xcb_connect(display, nullptr);
    if (xcb_connection_has_error(c))
        return 1;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    const std::uint32_t values[] = {screen->black_pixel, 1};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, W, 0, W, H, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(c, window);
    const xcb_gcontext_t gc = xcb_generate_id(c);
    const std::uint32_t inferiors = XCB_SUBWINDOW_MODE_INCLUDE_INFERIORS;
    xcb_create_gc(c, gc, window, XCB_GC_SUBWINDOW_MODE, &inferiors);
    // The island's place at the top of the laptop screen left out: three rectangles around it.
    const xcb_rectangle_t around[] = {{0, 0, 640, H}, {1280, 0, 640, H}, {640, 530, 640, H - 530}};
    xcb_set_clip_rectangles(c, XCB_CLIP_ORDERING_UNSORTED, gc, 0, 0, 3, around);
    auto next = std::chrono::steady_clock::now();
    while (!xcb_connection_has_error(c)) {
        next += std::chrono::microseconds(1000000 / 30);
        xcb_copy_area(c, screen->root, window, gc, 0, 0, 0, 0, W, H);
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        std::this_thread::sleep_until(next);
    }
    return 0;
}

} // namespace

BENCHMARK_CAPTURE(measure, output_off_still, Output::off, Motion::still, false)
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(measure, still_beside_floor, Output::live, Motion::still, true)
    ->UseManualTime()->Iterations(1)->Repetitions(3)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(measure, changing_beside_floor, Output::live, Motion::animation, true)
    ->UseManualTime()->Iterations(1)->Repetitions(3)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(measure, output_live_auto_scroll, Output::live, Motion::autoScroll, false)
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--floor") == 0)
        return runFloor(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "--server-copy") == 0)
        return runServerCopy(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "--animate") == 0)
        return runAnimation(argv[2]);
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
