// Time from process start to the first window on screen: the application
// against a bare Qt widget program, both on a private Xvfb.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>

#include <xcb/xcb.h>

#include <csignal>
#include <cstring>
#include <memory>
#include <fcntl.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char* const bareFlag = "--bare-window";
QString selfPath;

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

// Whether a viewable top-level window of the process is on screen.
bool hasViewableWindow(xcb_connection_t* connection, xcb_window_t root, xcb_atom_t pidAtom, qint64 pid)
{
    std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> tree(
        xcb_query_tree_reply(connection, xcb_query_tree(connection, root), nullptr), &std::free);
    if (!tree)
        return false;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&std::free)> attributes(
            xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, children[i]), nullptr),
            &std::free);
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
            continue;
        std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> property(
            xcb_get_property_reply(connection,
                                   xcb_get_property(connection, 0, children[i], pidAtom, XCB_ATOM_CARDINAL, 0, 1),
                                   nullptr),
            &std::free);
        if (property && xcb_get_property_value_length(property.get()) == 4
            && *static_cast<std::uint32_t*>(xcb_get_property_value(property.get())) == pid)
            return true;
    }
    return false;
}

void timeToFirstWindow(benchmark::State& state, QString program, QStringList arguments)
{
    if (server().name.isEmpty()) {
        state.SkipWithError("Xvfb cannot start");
        return;
    }
    xcb_connection_t* connection = xcb_connect(server().name.toLatin1().constData(), nullptr);
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::strlen("_NET_WM_PID"), "_NET_WM_PID"), nullptr), &std::free);

    for (auto _ : state) {
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

        QElapsedTimer clock;
        clock.start();
        process.start(program, arguments);
        process.waitForStarted();
        bool shown = false;
        while (!shown && clock.elapsed() < 20000 && process.state() == QProcess::Running) {
            shown = hasViewableWindow(connection, root, atom->atom, process.processId());
            if (!shown)
                QThread::usleep(500);
        }
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
        if (!shown)
            state.SkipWithError("no window appeared");
        process.kill();
        process.waitForFinished(5000);
    }
    xcb_disconnect(connection);
}

void BM_ApplicationToIsland(benchmark::State& state)
{
    timeToFirstWindow(state, QDir(QFileInfo(selfPath).absolutePath()).filePath(QStringLiteral("../quorvia")), {});
}
void BM_BareQtWidgetProgram(benchmark::State& state)
{
    timeToFirstWindow(state, selfPath, {QString::fromLatin1(bareFlag)});
}

BENCHMARK(BM_BareQtWidgetProgram)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplicationToIsland)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

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
    selfPath = QFileInfo(QString::fromLocal8Bit(argv[0])).absoluteFilePath();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
