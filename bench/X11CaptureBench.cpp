// The X11 capture path at 1920x1080 with 100 ordinary windows open, each
// figure beside a bare shared-memory grab of the same area from this run.
// Runs on a private Xvfb (support/XServer.h), never on the desktop.

#include "platform/Platform.h"
#include "platform/capture/VideoSurface.h"
#include "platform/desktop/Window.h"
#include "platform/linux/capture/LinuxCaptureService.h"
#include "platform/linux/application/QtScheduler.h"
#include "privacy/AudienceCanvasView.h"
#include "support/FakeDisplayService.h"
#include "support/TestPlatform.h"
#include "support/XServer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <sys/ipc.h>
#include <sys/resource.h>
#include <sys/shm.h>

#include <atomic>
#include <ctime>
#include <cstdlib>
#include <random>
#include <thread>

using namespace quorvia;
using namespace quorvia::platform;

namespace {

constexpr int width = 1920;
constexpr int height = 1080;

// Another client on the server: 100 ordinary windows of a foreign process,
// and one of them repainted on request so the screen changes.
class OtherClient {
public:
    OtherClient()
    {
        c_ = xcb_connect(nullptr, nullptr);
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
        root_ = screen->root;
        const std::uint32_t pid = 999999;
        const xcb_atom_t pidAtom = atom("_NET_WM_PID");
        std::mt19937 rng(7);
        for (int i = 0; i < 100; ++i) {
            const xcb_window_t w = xcb_generate_id(c_);
            const std::uint32_t values[] = {0xff000000u | std::uint32_t(rng())};
            xcb_create_window(c_, XCB_COPY_FROM_PARENT, w, root_, std::int16_t(rng() % 1700),
                              std::int16_t(rng() % 900), 220, 160, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                              screen->root_visual, XCB_CW_BACK_PIXEL, values);
            xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, pidAtom, XCB_ATOM_CARDINAL, 32, 1, &pid);
            xcb_map_window(c_, w);
            windows_.push_back(w);
        }
        gc_ = xcb_generate_id(c_);
        xcb_create_gc(c_, gc_, windows_.back(), 0, nullptr);
        sync();
    }
    ~OtherClient() { xcb_disconnect(c_); }

    // Paints the top window a new colour and waits until the server has done it.
    void change()
    {
        const std::uint32_t colour = 0xff000000u | (++step_ * 0x10305u);
        xcb_change_gc(c_, gc_, XCB_GC_FOREGROUND, &colour);
        const xcb_rectangle_t rect{0, 0, 220, 160};
        xcb_poly_fill_rectangle(c_, windows_.back(), gc_, 1, &rect);
        sync();
    }

    void sync() { std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)); }

private:
    xcb_atom_t atom(const char* name)
    {
        auto* reply = xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, std::uint16_t(strlen(name)), name), nullptr);
        const xcb_atom_t a = reply ? reply->atom : 0;
        std::free(reply);
        return a;
    }

    xcb_connection_t* c_ = nullptr;
    xcb_window_t root_ = 0;
    xcb_gcontext_t gc_ = 0;
    std::vector<xcb_window_t> windows_;
    std::uint32_t step_ = 0;
};

OtherClient* other = nullptr;

// The event loop, sleeping while there is nothing to do, as the application's does.
void runLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// A stream of the whole screen, handing every frame to `onFrame`.
struct Capture {
    explicit Capture(int fps, std::function<void(const SampleBuffer&)> onFrame)
    {
        std::optional<ShareableContent> content;
        service.shareableContent(false, false, [&](std::expected<ShareableContent, CaptureError> reply) {
            content = reply.value_or(ShareableContent{});
        });
        auto* manual = dynamic_cast<test::ManualScheduler*>(&current().scheduler());
        while (!content) {
            if (manual)
                manual->settle();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        }
        StreamConfiguration config;
        config.width = width;
        config.height = height;
        config.minimumFrameInterval = {1, fps};
        config.showsCursor = false;
        stream = service.makeStream({content->displays.front(), {}}, config, [](StreamID, CaptureError) {
            std::fprintf(stderr, "capture stopped\n");
        });
        auto added = stream->addStreamOutput(StreamOutputType::screen, SerialQueue(QStringLiteral("out")),
                                             [onFrame](StreamID, const SampleBuffer& b, StreamOutputType) { onFrame(b); });
        (void)added;
        stream->startCapture([](std::optional<CaptureError>) {});
    }
    ~Capture() { stream->stopCapture({}); }

    native::LinuxCaptureService service;
    std::shared_ptr<CaptureStream> stream;
};

// A fake display service whose one screen is the X server's.
std::shared_ptr<test::FakeDisplayService> serverScreen()
{
    auto displays = std::make_shared<test::FakeDisplayService>();
    Screen screen = test::FakeDisplayService::builtIn(1);
    screen.frame = screen.visibleFrame = Rect(0, 0, width, height);
    displays->setScreens({screen});
    return displays;
}

void bareShmGetImage(benchmark::State& state)
{
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const int id = shmget(IPC_PRIVATE, std::size_t(width) * height * 4, IPC_CREAT | 0600);
    void* memory = shmat(id, nullptr, 0);
    const std::uint32_t segment = xcb_generate_id(c);
    std::free(xcb_request_check(c, xcb_shm_attach_checked(c, segment, std::uint32_t(id), 0)));
    shmctl(id, IPC_RMID, nullptr);
    for (auto _ : state) {
        if (state.range(0))
            other->change();
        std::free(xcb_shm_get_image_reply(
            c, xcb_shm_get_image(c, root, 0, 0, width, height, ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, segment, 0), nullptr));
    }
    shmdt(memory);
    xcb_disconnect(c);
}
BENCHMARK(bareShmGetImage)->ArgName("changing")->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// One frame through the whole capture service, all on this thread under a
// manual clock: the tick, the window list, the grab, blanking and delivery.
void captureFrame(benchmark::State& state)
{
    test::TestPlatform env;
    env.platform().displayService = serverScreen();
    int frames = 0;
    {
        Capture capture(30, [&](const SampleBuffer& b) { frames += b.hasImage(); });
        env.scheduler().settle();
        for (auto _ : state) {
            other->change();
            env.scheduler().advance(1.0 / 30.0);
            env.scheduler().settle();
        }
    }
    env.scheduler().settle();
    state.counters["pictures_per_iteration"] = double(frames) / double(state.iterations());
}
BENCHMARK(captureFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

// Real clock and threads for a few seconds: frames delivered per second while
// the screen changes all the time, and the process's processor use.
void liveCapture(benchmark::State& state, bool changing)
{
    test::TestPlatform env;
    env.platform().schedulerService = std::make_shared<native::QtScheduler>();
    env.platform().displayService = serverScreen();
    const int fps = int(state.range(0));
    std::atomic<int> pictures{0};
    std::atomic<bool> stop{false};
    for (auto _ : state) {
        Capture capture(fps, [&](const SampleBuffer& b) { pictures += b.hasImage(); });
        std::thread painter([&] {
            while (!stop && changing) {
                other->change();
                std::this_thread::sleep_for(std::chrono::milliseconds(4));
            }
        });
        runLoopFor(500);
        pictures = 0;
        rusage before{};
        getrusage(RUSAGE_SELF, &before);
        QElapsedTimer timer;
        timer.start();
        runLoopFor(3000);
        rusage after{};
        getrusage(RUSAGE_SELF, &after);
        const double seconds = timer.nsecsElapsed() / 1e9;
        stop = true;
        painter.join();
        auto cpu = [](const rusage& r) {
            return r.ru_utime.tv_sec + r.ru_stime.tv_sec + (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
        };
        state.counters["delivered_fps"] = pictures / seconds;
        state.counters["cpu_percent_of_one_core"] = 100.0 * (cpu(after) - cpu(before)) / seconds;
    }
    runLoopFor(200);
}
BENCHMARK_CAPTURE(liveCapture, changing, true)->Arg(30)->Arg(60)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(liveCapture, still, false)->Arg(30)->Iterations(1)->Unit(benchmark::kSecond);

double threadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Counts the paints of a widget.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

// The main thread's part of one frame: the picture handed to the audience
// window and painted, at the captured size (1920x1080) and scaled (1280x720),
// in processor time of the main thread alone; the scaling queue runs beside it.
void presentFrame(benchmark::State& state)
{
    test::TestPlatform env;
    env.platform().schedulerService = std::make_shared<native::QtScheduler>();
    const int w = int(state.range(0));
    const int h = w * 9 / 16;
    Window window(Rect(0, 0, w, h), WindowStyle::borderless);
    auto* canvas = new AudienceCanvasView(Rect(0, 0, w, h));
    window.setContentView(canvas);
    window.orderFront();
    canvas->setMode(AudienceOutputMode::live());
    QImage a(width, height, QImage::Format_RGB32);
    a.fill(Qt::darkGreen);
    QImage b(width, height, QImage::Format_RGB32);
    b.fill(Qt::darkBlue);
    runLoopFor(200);
    CursorImage cursor{QImage(24, 38, QImage::Format_ARGB32_Premultiplied), {12, 19}, {1, 1}};
    cursor.image.fill(Qt::white);
    PaintCounter counter;
    canvas->videoSurface()->installEventFilter(&counter);
    // All of the picture changed, or a part as a slide's build or a video would.
    const bool whole = state.range(1) != 0;
    int i = 0;
    for (auto _ : state) {
        SampleBuffer frame;
        frame.frameStatus = 0;
        frame.image = (++i % 2) ? a : b;
        frame.sequence = std::uint64_t(i);
        if (!whole)
            frame.dirtyRegion = QRegion(720, 405, 480, 270);
        const int paints = counter.paints;
        const double start = threadSeconds();
        canvas->enqueue(frame);
        canvas->updatePointer(Point(100, 100), cursor, false);
        // Until the picture is on screen, sleeping while the scaling queue works.
        while (counter.paints == paints)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        state.SetIterationTime(threadSeconds() - start);
    }
    env.scheduler().settle();
    runLoopFor(100);
}
BENCHMARK(presentFrame)
    ->ArgNames({"window_width", "all_changed"})
    ->Args({1920, 1})
    ->Args({1920, 0})
    ->Args({1280, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Reference: a bare copy of the captured frame, in the main thread's processor time.
void copyFrame(benchmark::State& state)
{
    QImage a(width, height, QImage::Format_RGB32);
    a.fill(Qt::darkGreen);
    for (auto _ : state) {
        const double start = threadSeconds();
        QImage copy = a.copy();
        benchmark::DoNotOptimize(copy.constBits());
        state.SetIterationTime(threadSeconds() - start);
    }
}
BENCHMARK(copyFrame)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    const QString display = test::XServer::display();
    if (display.isEmpty()) {
        std::fputs("could not start Xvfb\n", stderr);
        return 1;
    }
    qputenv("DISPLAY", display.toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    OtherClient client;
    other = &client;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    other = nullptr;
    return 0;
}
