// Time from process start to the first paint of the first window: the
// application's island against a bare Qt widget program built the same way
// (this executable, run with --bare-window), on a private Xvfb. A second
// reference (--bare-text-window) is the same program drawing one line of
// Chinese text, which costs it the font system the island cannot do without.
// The programs are launched in turn within each iteration, so a change of
// load on the machine falls on all of them. Warm: the files are in the page cache from the run before.
// Cold: every file the programs mapped last time (executable, libraries,
// fonts, caches) is dropped from the page cache first, so they are read again
// from disk; files other processes hold mapped stay in memory.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>

#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const char* const bareFlag = "--bare-window";
const char* const bareTextFlag = "--bare-text-window";
QString selfPath;

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;
template <typename T> Reply<T> reply(T* value) { return Reply<T>(value, &std::free); }

// A private Xvfb for the whole run; it reports its display number on a pipe.
struct Server {
    Server()
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return;
        const std::string displayFd = std::to_string(fds[1]);
        const char* argv[] = {"Xvfb", "-displayfd", displayFd.c_str(), "-screen", "0", "1920x1080x24",
                              "-nolisten", "tcp", "-noreset", nullptr};
        pid = ::fork();
        if (pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            ::fcntl(fds[1], F_SETFD, 0);
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
            ::execvp("Xvfb", const_cast<char* const*>(argv));
            ::_exit(127);
        }
        ::close(fds[1]);
        std::string number;
        char c = 0;
        while (::read(fds[0], &c, 1) == 1 && c != '\n')
            number.push_back(c);
        ::close(fds[0]);
        if (!number.empty())
            name = QStringLiteral(":") + QString::fromStdString(number);
    }
    ~Server()
    {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    }
    pid_t pid = -1;
    QString name;
};

Server& server()
{
    static Server instance;
    return instance;
}

// The processor time of every live thread of a process, from the scheduler's own count.
double processorMilliseconds(qint64 pid)
{
    double total = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile schedstat(tasks.filePath(task + QStringLiteral("/schedstat")));
        if (schedstat.open(QIODevice::ReadOnly))
            total += schedstat.readAll().split(' ').value(0).toDouble() / 1e6;
    }
    return total;
}

// Watches the whole screen's damage: the first damage inside a viewable
// window of the launched process is that window's first paint (Qt's windows
// have no background of their own, so mapping one draws nothing).
class PaintWatch {
public:
    explicit PaintWatch(const QString& display)
    {
        connection_ = xcb_connect(display.toLatin1().constData(), nullptr);
        if (xcb_connection_has_error(connection_))
            return;
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        auto atom = reply(xcb_intern_atom_reply(
            connection_, xcb_intern_atom(connection_, 0, std::strlen("_NET_WM_PID"), "_NET_WM_PID"), nullptr));
        pidAtom_ = atom ? atom->atom : XCB_NONE;
        const auto* extension = xcb_get_extension_data(connection_, &xcb_damage_id);
        if (!extension || !extension->present)
            return;
        damageEvent_ = extension->first_event + XCB_DAMAGE_NOTIFY;
        reply(xcb_damage_query_version_reply(connection_, xcb_damage_query_version(connection_, 1, 1), nullptr));
        damage_ = xcb_generate_id(connection_);
        xcb_damage_create(connection_, damage_, root_, XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
        xcb_flush(connection_);
        ready_ = true;
    }
    ~PaintWatch() { xcb_disconnect(connection_); }
    bool ready() const { return ready_; }

    // Forgets whatever was drawn before the launch.
    void drain()
    {
        xcb_aux_sync();
        while (auto* event = xcb_poll_for_event(connection_))
            std::free(event);
    }

    struct Times {
        std::optional<double> mapped;
        std::optional<double> painted;
        // The processor time the process had used by then, all its threads:
        // what the load on a shared machine stretches the other two by.
        double cpu = 0;
    };

    // Waits for the process's first painted window, up to the deadline.
    Times await(const QProcess& process, const QElapsedTimer& clock, qint64 deadlineMs)
    {
        Times times;
        while (!times.painted && clock.elapsed() < deadlineMs && process.state() == QProcess::Running) {
            const std::vector<xcb_rectangle_t> windows = viewableWindows(process.processId());
            if (!windows.empty() && !times.mapped)
                times.mapped = clock.nsecsElapsed() / 1e6;
            bool idle = true;
            while (auto* event = xcb_poll_for_event(connection_)) {
                idle = false;
                if ((event->response_type & 0x7f) == damageEvent_ && !times.painted) {
                    const auto* notify = reinterpret_cast<const xcb_damage_notify_event_t*>(event);
                    const auto& area = notify->area;
                    // The window list as it is now: a window mapped after the
                    // poll above has not been painted before it was mapped.
                    for (const auto& w : viewableWindows(process.processId()))
                        if (area.x < w.x + w.width && w.x < area.x + area.width && area.y < w.y + w.height
                            && w.y < area.y + area.height) {
                            times.painted = clock.nsecsElapsed() / 1e6;
                            times.cpu = processorMilliseconds(process.processId());
                            if (!times.mapped)
                                times.mapped = times.painted;
                            break;
                        }
                }
                std::free(event);
            }
            if (idle)
                QThread::usleep(200);
        }
        return times;
    }

private:
    void xcb_aux_sync() { std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr)); }

    std::vector<xcb_rectangle_t> viewableWindows(qint64 pid)
    {
        std::vector<xcb_rectangle_t> found;
        auto tree = reply(xcb_query_tree_reply(connection_, xcb_query_tree(connection_, root_), nullptr));
        if (!tree)
            return found;
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            auto attributes = reply(xcb_get_window_attributes_reply(
                connection_, xcb_get_window_attributes(connection_, children[i]), nullptr));
            if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
                continue;
            auto property = reply(xcb_get_property_reply(
                connection_, xcb_get_property(connection_, 0, children[i], pidAtom_, XCB_ATOM_CARDINAL, 0, 1),
                nullptr));
            if (!property || xcb_get_property_value_length(property.get()) != 4
                || *static_cast<std::uint32_t*>(xcb_get_property_value(property.get())) != pid)
                continue;
            auto geometry = reply(
                xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, children[i]), nullptr));
            if (geometry)
                found.push_back({geometry->x, geometry->y, geometry->width, geometry->height});
        }
        return found;
    }

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = XCB_NONE;
    xcb_atom_t pidAtom_ = XCB_NONE;
    xcb_damage_damage_t damage_ = XCB_NONE;
    std::uint8_t damageEvent_ = 0;
    bool ready_ = false;
};

// One program under measurement: what it is, and the files it mapped last time.
struct Program {
    QString path;
    QStringList arguments;
    QSet<QString> mappedFiles;
    std::vector<double> mapped;
    std::vector<double> painted;
    std::vector<double> cpu;
};

QSet<QString> mappedFiles(qint64 pid)
{
    QSet<QString> files;
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    if (!maps.open(QIODevice::ReadOnly))
        return files;
    for (const QByteArray& line : maps.readAll().split('\n')) {
        const int slash = line.indexOf(" /");
        if (slash >= 0)
            files.insert(QString::fromLocal8Bit(line.mid(slash + 1).trimmed()));
    }
    return files;
}

void dropFromPageCache(const QSet<QString>& files)
{
    ::sync();
    for (const QString& path : files) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

// Launches the program on the private server with an empty home, and waits
// for its first paint.
bool launch(PaintWatch& watch, Program& program, bool cold)
{
    if (cold)
        dropFromPageCache(program.mappedFiles);
    QTemporaryDir home;
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), server().name);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("TMPDIR"), home.path());
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());

    watch.drain();
    QElapsedTimer clock;
    clock.start();
    process.start(program.path, program.arguments);
    process.waitForStarted();
    const PaintWatch::Times times = watch.await(process, clock, 20000);
    if (times.painted) {
        program.mapped.push_back(*times.mapped);
        program.painted.push_back(*times.painted);
        program.cpu.push_back(times.cpu);
        program.mappedFiles.unite(mappedFiles(process.processId()));
    }
    process.kill();
    process.waitForFinished(5000);
    return times.painted.has_value();
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void startupToFirstPaint(benchmark::State& state, bool cold)
{
    if (server().name.isEmpty()) {
        state.SkipWithError("Xvfb cannot start");
        return;
    }
    PaintWatch watch(server().name);
    if (!watch.ready()) {
        state.SkipWithError("no damage extension on the X server");
        return;
    }
    Program bare{selfPath, {QString::fromLatin1(bareFlag)}, {}, {}, {}, {}};
    Program bareText{selfPath, {QString::fromLatin1(bareTextFlag)}, {}, {}, {}, {}};
    Program application{QDir(QFileInfo(selfPath).absolutePath()).filePath(QStringLiteral("../quorvia")), {}, {}, {}, {}, {}};
    Program* const programs[] = {&bare, &bareText, &application};
    // A first launch of each, unmeasured, learns the files a cold start must read.
    for (Program* program : programs) {
        launch(watch, *program, false);
        program->mapped.clear();
        program->painted.clear();
        program->cpu.clear();
    }

    int turn = 0;
    for (auto _ : state) {
        // The order turns with each iteration.
        for (int i = 0; i < 3; ++i)
            if (!launch(watch, *programs[(turn + i) % 3], cold)) {
                state.SkipWithError("no window was painted");
                return;
            }
        ++turn;
        state.SetIterationTime(application.painted.back() / 1000.0);
    }
    state.counters["bare_paint_ms"] = median(bare.painted);
    state.counters["text_paint_ms"] = median(bareText.painted);
    state.counters["app_paint_ms"] = median(application.painted);
    state.counters["ratio"] = median(application.painted) / std::max(median(bare.painted), 1e-9);
    state.counters["ratio_to_text"] = median(application.painted) / std::max(median(bareText.painted), 1e-9);
    state.counters["bare_cpu_ms"] = median(bare.cpu);
    state.counters["text_cpu_ms"] = median(bareText.cpu);
    state.counters["app_cpu_ms"] = median(application.cpu);
    state.counters["cpu_ratio"] = median(application.cpu) / std::max(median(bare.cpu), 1e-9);
    state.counters["bare_map_ms"] = median(bare.mapped);
    state.counters["app_map_ms"] = median(application.mapped);
}

void warm(benchmark::State& state) { startupToFirstPaint(state, false); }
void cold(benchmark::State& state) { startupToFirstPaint(state, true); }

// The manual time is the application's; the counters are medians of each program.
BENCHMARK(warm)->UseManualTime()->Iterations(15)->Unit(benchmark::kMillisecond);
BENCHMARK(cold)->UseManualTime()->Iterations(15)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], bareFlag) == 0) {
        QApplication app(argc, argv);
        QWidget window;
        window.resize(400, 80);
        window.show();
        return app.exec();
    }
    if (argc > 1 && std::strcmp(argv[1], bareTextFlag) == 0) {
        QApplication app(argc, argv);
        QLabel window(QStringLiteral("演讲提词"));
        window.resize(400, 80);
        window.show();
        return app.exec();
    }
    selfPath = QFileInfo(QString::fromLocal8Bit(argv[0])).absoluteFilePath();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
