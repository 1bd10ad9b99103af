#include "support/RunningApplication.h"

#include "support/ApplicationControls.h"
#include "support/EventWait.h"
#include "support/ScreenPixels.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QThread>
#include <QUuid>

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>

#include <unistd.h>

namespace quorvia::test {

namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> hold(T* reply)
{
    return Reply<T>(reply, &std::free);
}

std::uint32_t internAtom(xcb_connection_t* c, const char* name)
{
    auto reply = hold(xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr));
    return reply ? reply->atom : 0;
}

// Set in every launch's environment to this object's mark.
constexpr auto launchMarkName = "QUORVIA_TEST_LAUNCH";

} // namespace

RunningApplication::RunningApplication(const QString& display)
    : display_(display),
      executable_(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../quorvia")))
{
    if (!display.isEmpty())
        connection_ = xcb_connect(display.toLatin1().constData(), nullptr);
    if (connection_ && xcb_connection_has_error(connection_) == 0) {
        pidAtom_ = internAtom(connection_, "_NET_WM_PID");
        nameAtom_ = internAtom(connection_, "_NET_WM_NAME");
        utf8Atom_ = internAtom(connection_, "UTF8_STRING");
        typeAtom_ = internAtom(connection_, "_NET_WM_WINDOW_TYPE");
        tooltipAtom_ = internAtom(connection_, "_NET_WM_WINDOW_TYPE_TOOLTIP");
    }
    launchMark_ = QUuid::createUuid().toString(QUuid::WithoutBraces);
    for (const char* sub : {"config/com.local.quorvia.mvp", "data", "run", "tmp", "home"})
        QDir(folders_.path()).mkpath(QString::fromLatin1(sub));
    QFile::setPermissions(folders_.filePath(QStringLiteral("run")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    environment_ = QProcessEnvironment::systemEnvironment();
    if (display_.isEmpty())
        environment_.remove(QStringLiteral("DISPLAY"));
    else
        environment_.insert(QStringLiteral("DISPLAY"), display_);
    environment_.insert(QStringLiteral("QT_QPA_PLATFORM"), display_.isEmpty() ? QStringLiteral("offscreen") : QStringLiteral("xcb"));
    environment_.insert(QStringLiteral("HOME"), folders_.filePath(QStringLiteral("home")));
    environment_.insert(QStringLiteral("TMPDIR"), folders_.filePath(QStringLiteral("tmp")));
    environment_.insert(QStringLiteral("XDG_CONFIG_HOME"), folders_.filePath(QStringLiteral("config")));
    environment_.insert(QStringLiteral("XDG_DATA_HOME"), folders_.filePath(QStringLiteral("data")));
    environment_.insert(QStringLiteral("XDG_RUNTIME_DIR"), folders_.filePath(QStringLiteral("run")));
    environment_.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    // The emergency key and the private windows do not depend on a session
    // bus. One that fails at once: without any, libdbus starts a launcher.
    environment_.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                        QStringLiteral("unix:path=") + folders_.filePath(QStringLiteral("no-bus")));
    environment_.remove(QStringLiteral("SESSION_MANAGER"));
}

RunningApplication::~RunningApplication()
{
    if (isRunning()) {
        ::kill(static_cast<pid_t>(process_.processId()), SIGCONT);
        if (!waitUntilCatching(SIGTERM) || !quit())
            ADD_FAILURE() << "the application did not end cleanly on SIGTERM";
    }
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
    endLeftovers();
    xcb_disconnect(connection_);
}

void RunningApplication::seedScript(const QString& text)
{
    QSettings legacy(folders_.filePath(QStringLiteral("config/com.local.quorvia.mvp/defaults.ini")),
                     QSettings::IniFormat);
    legacy.setValue(QStringLiteral("presentation.promptScript"), text);
}

void RunningApplication::collectErrors()
{
    launcher_ << QStringLiteral("/bin/sh") << QStringLiteral("-c")
              << QStringLiteral("exec \"$0\" 2>>'%1'").arg(folders_.filePath(QStringLiteral("errors.log")));
}

QString RunningApplication::errorsSaid() const
{
    QFile said(folders_.filePath(QStringLiteral("errors.log")));
    return said.open(QIODevice::ReadOnly) ? QString::fromUtf8(said.readAll()) : QString();
}

QString RunningApplication::scrollingTalk()
{
    QFile file(QStringLiteral(QUORVIA_SAMPLE_TALK));
    file.open(QIODevice::ReadOnly);
    QString opening = QStringLiteral("1\n# 开场\n");
    for (int line = 1; line <= 40; ++line)
        opening += QStringLiteral("第 %1 行：大家好，欢迎来到今天的发布会，我们从市场讲起。\n").arg(line);
    return opening + QStringLiteral("---\n") + QString::fromUtf8(file.readAll());
}

bool RunningApplication::launch()
{
    process_.setProcessEnvironment(environment_);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.setStandardOutputFile(folders_.filePath(QStringLiteral("application.log")));
    startExecutable(process_);
    return process_.waitForStarted(60000);
}

void RunningApplication::startExecutable(QProcess& process) const
{
    QProcessEnvironment marked = process.processEnvironment();
    marked.insert(QLatin1String(launchMarkName), launchMark_);
    process.setProcessEnvironment(marked);
    if (launcher_.isEmpty())
        process.start(executable_, {});
    else
        process.start(launcher_.front(), launcher_.mid(1) << executable_);
}

void RunningApplication::endLeftovers() const
{
    const QByteArray mark = '\0' + QByteArray(launchMarkName) + '=' + launchMark_.toLatin1() + '\0';
    std::vector<pid_t> marked;
    const auto find = [&] {
        marked.clear();
        for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            bool isPid = false;
            const pid_t pid = entry.toInt(&isPid);
            QFile variables(QStringLiteral("/proc/%1/environ").arg(entry));
            if (isPid && pid != ::getpid() && variables.open(QIODevice::ReadOnly)
                && ('\0' + variables.readAll()).contains(mark))
                marked.push_back(pid);
        }
        return marked.empty();
    };
    // An ended process's environment reads empty, so one gone stops counting at once.
    for (int round = 0; round < 50 && !find(); ++round) {
        for (const pid_t pid : marked)
            ::kill(pid, SIGKILL);
        QThread::msleep(20);
    }
}

bool RunningApplication::start()
{
    if (!launch())
        return false;
    return waitUntil([&] { return !windows().empty() || !isRunning(); }) && isRunning();
}

bool RunningApplication::launchAnother(QProcess& process, QProcess::ProcessChannelMode channels) const
{
    process.setProcessEnvironment(environment_);
    process.setProcessChannelMode(channels);
    startExecutable(process);
    return process.waitForStarted(60000);
}

bool RunningApplication::quit(int timeoutMs)
{
    if (!isRunning())
        return false;
    ::kill(static_cast<pid_t>(process_.processId()), SIGTERM);
    if (!waitUntilEnded(process_, timeoutMs)) {
        std::fprintf(stderr, "the application did not quit within %d ms of SIGTERM\n", timeoutMs);
        return false;
    }
    if (process_.exitStatus() != QProcess::NormalExit || process_.exitCode() != 0) {
        std::fprintf(stderr, "the application ended with status %d (%s)\n", process_.exitCode(),
                     process_.exitStatus() == QProcess::NormalExit ? "exit" : "crash");
        return false;
    }
    return true;
}

bool RunningApplication::waitUntilEnded(QProcess& process, int timeoutMs)
{
    return waitUntil([&] { return process.state() == QProcess::NotRunning; }, timeoutMs);
}

bool RunningApplication::waitUntilListening() const
{
    // The places the instance socket may take, in the order it tries them.
    const QString runtime = environment_.value(QStringLiteral("XDG_RUNTIME_DIR"));
    const QString temporary = environment_.value(QStringLiteral("TMPDIR"), QDir::tempPath());
    const QString config = environment_.value(QStringLiteral("XDG_CONFIG_HOME")) + u'/';
    const QString ours = temporary + QStringLiteral("/quorvia-%1/instance").arg(::getuid());
    const auto isOurs = [&](const QString& path) {
        return (!runtime.isEmpty() && path == runtime + QStringLiteral("/quorvia-instance")) || path == ours
            || (path.startsWith(config) && path.endsWith(QStringLiteral("/instance/socket")));
    };
    // A socket bound but not yet listening refuses every peer: the kernel's
    // own word on it, not the name in the folder.
    return waitUntil([&] {
        QFile sockets(QStringLiteral("/proc/net/unix"));
        if (!sockets.open(QIODevice::ReadOnly))
            return false;
        // Num RefCount Protocol Flags Type St Inode Path; Flags has __SO_ACCEPTCON once listen() is done.
        constexpr quint32 listening = 0x10000;
        for (const QByteArray& line : sockets.readAll().split('\n')) {
            const QList<QByteArray> words = line.simplified().split(' ');
            if (words.size() >= 8 && (words[3].toUInt(nullptr, 16) & listening) && isOurs(QFile::decodeName(words[7])))
                return true;
        }
        return false;
    });
}

bool RunningApplication::waitUntilCatching(int signal) const
{
    return waitUntil(
        [&] {
            QFile status(QStringLiteral("/proc/%1/status").arg(process_.processId()));
            if (!status.open(QIODevice::ReadOnly))
                return false;
            for (const QByteArray& line : status.readAll().split('\n'))
                if (line.startsWith("SigCgt:"))
                    return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal - 1) & 1) != 0;
            return false;
        });
}

bool RunningApplication::waitUntilOffersPrivacyOutput(const Window& island) const
{
    // The enabled button's light blue face.
    return waitUntil(
        [&] {
            const QPoint at = island.frame.topLeft() + controls::island::privacyButton;
            const QRgb p = grab(QRect(at, QSize(1, 1))).pixel(0, 0);
            return qBlue(p) >= 235 && qRed(p) > 80 && qRed(p) < 170 && qGreen(p) > 150;
        });
}

std::vector<RunningApplication::Window> RunningApplication::windows() const
{
    std::vector<Window> found;
    if (!connection_ || xcb_connection_has_error(connection_) || !isRunning())
        return found;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    auto tree = hold(xcb_query_tree_reply(connection_, xcb_query_tree(connection_, root), nullptr));
    if (!tree)
        return found;
    const auto isOurs = [this](xcb_window_t w) { return this->isOurs(w); };
    // Qt names a tooltip after the application, as it does an alert.
    auto isTooltip = [&](xcb_window_t w) {
        auto type = hold(xcb_get_property_reply(
            connection_, xcb_get_property(connection_, 0, w, typeAtom_, XCB_ATOM_ATOM, 0, 16), nullptr));
        const auto* types = type ? static_cast<const xcb_atom_t*>(xcb_get_property_value(type.get())) : nullptr;
        return types && std::count(types, types + xcb_get_property_value_length(type.get()) / 4, tooltipAtom_) > 0;
    };
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    for (int i = 0; i < count; ++i) {
        const xcb_window_t top = children[i];
        auto attributes = hold(xcb_get_window_attributes_reply(connection_, xcb_get_window_attributes(connection_, top), nullptr));
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
            continue;
        auto outer = hold(xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, top), nullptr));
        if (!outer)
            continue;
        // A window manager puts each window inside a frame of its own.
        xcb_window_t w = XCB_WINDOW_NONE;
        QPoint at(outer->x, outer->y);
        if (isOurs(top)) {
            w = top;
        } else if (auto inside = hold(xcb_query_tree_reply(connection_, xcb_query_tree(connection_, top), nullptr))) {
            const xcb_window_t* clients = xcb_query_tree_children(inside.get());
            for (int j = 0; j < xcb_query_tree_children_length(inside.get()) && !w; ++j) {
                if (!isOurs(clients[j]))
                    continue;
                auto g = hold(xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, clients[j]), nullptr));
                if (!g)
                    continue;
                w = clients[j];
                at += QPoint(g->x + outer->border_width, g->y + outer->border_width);
            }
        }
        if (!w || isTooltip(w))
            continue;
        auto geometry = hold(xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, w), nullptr));
        if (!geometry)
            continue;
        auto name = hold(xcb_get_property_reply(
            connection_, xcb_get_property(connection_, 0, w, nameAtom_, utf8Atom_, 0, 256), nullptr));
        Window window;
        window.id = w;
        window.frame = w == top ? QRect(geometry->x, geometry->y, geometry->width, geometry->height)
                                : QRect(at, QSize(geometry->width, geometry->height));
        window.outer = QRect(outer->x, outer->y, outer->width + 2 * outer->border_width,
                             outer->height + 2 * outer->border_width);
        if (name)
            window.name = QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(name.get())),
                                            xcb_get_property_value_length(name.get()));
        found.push_back(window);
    }
    return found;
}

std::optional<RunningApplication::Window> RunningApplication::statusIcon() const
{
    if (!connection_ || xcb_connection_has_error(connection_) || !isRunning())
        return std::nullopt;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    // Ours, viewable, and held inside another client's window, not a window manager's frame.
    const std::vector<Window> topLevel = windows();
    const auto childrenOf = [this](xcb_window_t w) {
        std::vector<xcb_window_t> children;
        if (auto tree = hold(xcb_query_tree_reply(connection_, xcb_query_tree(connection_, w), nullptr)))
            children.assign(xcb_query_tree_children(tree.get()),
                            xcb_query_tree_children(tree.get()) + xcb_query_tree_children_length(tree.get()));
        return children;
    };
    std::vector<xcb_window_t> pending;
    for (const xcb_window_t top : childrenOf(root))
        std::ranges::copy(childrenOf(top), std::back_inserter(pending));
    while (!pending.empty()) {
        const xcb_window_t w = pending.back();
        pending.pop_back();
        auto pid = hold(xcb_get_property_reply(
            connection_, xcb_get_property(connection_, 0, w, pidAtom_, XCB_ATOM_CARDINAL, 0, 1), nullptr));
        const bool ours = pid && xcb_get_property_value_length(pid.get()) == 4
                          && *static_cast<std::uint32_t*>(xcb_get_property_value(pid.get())) == process_.processId();
        auto attributes = hold(xcb_get_window_attributes_reply(connection_, xcb_get_window_attributes(connection_, w), nullptr));
        auto geometry = hold(xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, w), nullptr));
        auto at = hold(xcb_translate_coordinates_reply(connection_, xcb_translate_coordinates(connection_, w, root, 0, 0),
                                                       nullptr));
        const bool framed = std::any_of(topLevel.begin(), topLevel.end(), [w](const Window& t) { return t.id == w; });
        if (ours && !framed && attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE && geometry && at) {
            const QRect frame(at->dst_x, at->dst_y, geometry->width, geometry->height);
            return Window{w, frame, {}, frame};
        }
        std::ranges::copy(childrenOf(w), std::back_inserter(pending));
    }
    return std::nullopt;
}

std::vector<RunningApplication::Window> RunningApplication::windows(const QString& pattern) const
{
    const QRegularExpression expression(pattern);
    std::vector<Window> found = windows();
    std::erase_if(found, [&](const Window& w) { return !expression.match(w.name).hasMatch(); });
    return found;
}

std::optional<RunningApplication::Window> RunningApplication::waitWindow(const QString& pattern) const
{
    const QRegularExpression expression(pattern);
    std::optional<Window> best;
    waitUntil(
        [&] {
            best.reset();
            for (const auto& w : windows())
                if ((pattern.isEmpty() || expression.match(w.name).hasMatch())
                    && (!best || w.frame.width() * w.frame.height() > best->frame.width() * best->frame.height()))
                    best = w;
            return best.has_value();
        });
    return best;
}

std::optional<RunningApplication::Window> RunningApplication::waitNewWindow(const std::vector<Window>& known) const
{
    std::optional<Window> best;
    waitUntil(
        [&] {
            best.reset();
            for (const auto& w : windows()) {
                const bool old = std::any_of(known.begin(), known.end(), [&](const Window& k) { return k.id == w.id; });
                if (!old && (!best || w.frame.width() * w.frame.height() > best->frame.width() * best->frame.height()))
                    best = w;
            }
            return best.has_value();
        });
    return best;
}

void RunningApplication::click(const Window& window, QPoint control, int settleMs) const
{
    clickAt(window.frame.topLeft() + control, settleMs);
}

void RunningApplication::click(const Window& window, int x, int y, int settleMs) const
{
    clickAt(window.frame.topLeft() + QPoint(x, y), settleMs);
}

void RunningApplication::clickAt(QPoint rootPoint, int settleMs) const
{
    tool(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QString::number(rootPoint.x()),
                                     QString::number(rootPoint.y()), QStringLiteral("click"), QStringLiteral("1")});
    runEventsFor(settleMs);
}

void RunningApplication::key(const QString& keys, int settleMs) const
{
    tool(QStringLiteral("xdotool"), QStringList{QStringLiteral("key")} + keys.split(u' ', Qt::SkipEmptyParts));
    runEventsFor(settleMs);
}

bool RunningApplication::focus(const Window& window, int timeoutMs) const
{
    if (!connection_ || xcb_connection_has_error(connection_))
        return false;
    return waitUntil(
        [&] {
            // Refused (and answered with an error we ignore) while the window is not viewable.
            xcb_set_input_focus(connection_, XCB_INPUT_FOCUS_POINTER_ROOT, window.id, XCB_CURRENT_TIME);
            auto focus = hold(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
            return focus && focus->focus == window.id;
        },
        timeoutMs);
}

void RunningApplication::type(const QString& text) const
{
    tool(QStringLiteral("xdotool"), {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), text});
}

void RunningApplication::pressEmergencyKey() const { key(QStringLiteral("ctrl+alt+super+h"), 0); }

bool RunningApplication::isOurs(std::uint32_t window) const
{
    auto pid = hold(xcb_get_property_reply(connection_, xcb_get_property(connection_, 0, window, pidAtom_, XCB_ATOM_CARDINAL, 0, 1), nullptr));
    return pid && xcb_get_property_value_length(pid.get()) == 4 && *static_cast<std::uint32_t*>(xcb_get_property_value(pid.get())) == process_.processId();
}

int RunningApplication::shownTopLevelsOfOthers() const
{
    if (!connection_ || xcb_connection_has_error(connection_))
        return 0;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    const auto tree = hold(xcb_query_tree_reply(connection_, xcb_query_tree(connection_, root), nullptr));
    int shown = 0;
    for (int i = 0; tree && i < xcb_query_tree_children_length(tree.get()); ++i) {
        const xcb_window_t top = xcb_query_tree_children(tree.get())[i];
        const auto a = hold(xcb_get_window_attributes_reply(connection_, xcb_get_window_attributes(connection_, top), nullptr));
        const auto inside = hold(xcb_query_tree_reply(connection_, xcb_query_tree(connection_, top), nullptr));
        const xcb_window_t* children = inside ? xcb_query_tree_children(inside.get()) : nullptr;
        const int count = inside ? xcb_query_tree_children_length(inside.get()) : 0;
        shown += a && a->map_state == XCB_MAP_STATE_VIEWABLE && !isOurs(top) && std::none_of(children, children + count, [&](xcb_window_t w) { return isOurs(w); });
    }
    return shown;
}

bool RunningApplication::hasKeyboard(const Window& window) const
{
    if (!connection_ || xcb_connection_has_error(connection_))
        return false;
    const auto focus = hold(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    return focus && focus->focus == window.id;
}

std::uint32_t RunningApplication::transientFor(const Window& window) const
{
    if (!connection_ || xcb_connection_has_error(connection_))
        return 0;
    const auto owner = hold(xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, window.id, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 0, 1), nullptr));
    return owner && xcb_get_property_value_length(owner.get()) == 4 ? *static_cast<std::uint32_t*>(xcb_get_property_value(owner.get())) : 0;
}

bool RunningApplication::hasState(const Window& window, const char* state) const
{
    if (!connection_ || xcb_connection_has_error(connection_))
        return false;
    const std::uint32_t wanted = internAtom(connection_, state);
    const auto states = hold(xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, window.id, internAtom(connection_, "_NET_WM_STATE"), XCB_ATOM_ATOM, 0, 64), nullptr));
    const auto* atoms = states ? static_cast<const std::uint32_t*>(xcb_get_property_value(states.get())) : nullptr;
    return atoms && wanted && std::count(atoms, atoms + xcb_get_property_value_length(states.get()) / 4, wanted) > 0;
}

std::optional<RunningApplication::Window> RunningApplication::pressIslandSetting(const Window& island, QPoint control, QPoint gear) const
{
    const auto before = windows();
    click(island, gear, 300);
    // The gear's tooltip may come up first: the settings are the new window that holds the control.
    std::optional<Window> settings;
    waitUntil([&] {
        for (const auto& w : windows())
            if (std::ranges::count(before, w) == 0 && w.frame.width() > control.x() && w.frame.height() > control.y())
                settings = w;
        return settings.has_value();
    });
    if (settings)
        click(*settings, control, 300);
    return settings;
}

std::optional<RunningApplication::Window> RunningApplication::failKeynoteImport(const Window& island) const
{
    QFile deck(folders_.filePath(QStringLiteral("Talk.key")));
    if (!deck.open(QIODevice::WriteOnly))
        return std::nullopt;
    deck.close();
    if (!pressIslandSetting(island, controls::settings::importKeynote))
        return std::nullopt;
    const auto chooser = waitWindow(QStringLiteral("Keynote 文稿"));
    if (!chooser)
        return std::nullopt;
    focus(*chooser);
    type(deck.fileName());
    const auto known = windows();
    key(QStringLiteral("Return"), 0);
    // Its completion list, named as an alert is, may come up late; it goes with the chooser.
    if (!waitUntil([&] { return !shows(*chooser); }))
        return std::nullopt;
    return waitNewWindow(known);
}

void RunningApplication::moveWindow(const Window& window, QPoint topLeft) const
{
    tool(QStringLiteral("xdotool"), {QStringLiteral("windowmove"), QString::number(window.id),
                                     QString::number(topLeft.x()), QString::number(topLeft.y())});
}

void RunningApplication::moveWindowAtOnce(const Window& window, const std::vector<QPoint>& topLefts) const
{
    if (!connection_ || xcb_connection_has_error(connection_))
        return;
    xcb_grab_server(connection_);
    for (const QPoint at : topLefts) {
        const std::uint32_t values[] = {std::uint32_t(at.x()), std::uint32_t(at.y())};
        xcb_configure_window(connection_, window.id, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, values);
    }
    xcb_ungrab_server(connection_);
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

void RunningApplication::moveWindowInSteps(const Window& window, QPoint step, int count, int intervalMs) const
{
    if (!connection_ || xcb_connection_has_error(connection_))
        return;
    // Asked of the window itself: a window manager, if one runs, moves its frame.
    QPoint at = window.frame.topLeft();
    for (int i = 0; i < count; ++i) {
        at += step;
        const std::uint32_t values[] = {std::uint32_t(at.x()), std::uint32_t(at.y())};
        xcb_configure_window(connection_, window.id, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, values);
        xcb_flush(connection_);
        QThread::msleep(intervalMs);
    }
    // Every move has been handled once this answers.
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

void RunningApplication::movePointer(QPoint rootPoint) const
{
    tool(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QString::number(rootPoint.x()),
                                     QString::number(rootPoint.y())});
}

void RunningApplication::drag(QPoint from, QPoint to, int steps, int intervalMs, const QString& holding) const
{
    const auto at = [](QPoint p) { return QStringList{QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y())}; };
    const QString pause = QString::number(intervalMs / 1000.0);
    const QStringList held = holding.isEmpty() ? QStringList() : QStringList{QStringLiteral("keydown"), holding};
    QStringList chain = at(from) + held + QStringList{QStringLiteral("mousedown"), QStringLiteral("1")};
    for (int i = 1; i <= steps; ++i)
        chain += QStringList{QStringLiteral("sleep"), pause} + at(from + (to - from) * i / steps);
    chain += QStringList{QStringLiteral("sleep"), pause, QStringLiteral("mouseup"), QStringLiteral("1")};
    tool(QStringLiteral("xdotool"), holding.isEmpty() ? chain : chain + QStringList{QStringLiteral("keyup"), holding});
}

void RunningApplication::press(QPoint at, const QString& holding) const
{
    const QStringList held = holding.isEmpty() ? QStringList() : QStringList{QStringLiteral("keydown"), holding};
    tool(QStringLiteral("xdotool"), QStringList{QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y())} + held
                                        + QStringList{QStringLiteral("mousedown"), QStringLiteral("1")});
}

void RunningApplication::moveHeld(QPoint from, QPoint to, int steps, int intervalMs) const
{
    QStringList chain;
    for (int i = 1; i <= steps; ++i) {
        const QPoint p = from + (to - from) * i / steps;
        chain += QStringList{QStringLiteral("sleep"), QString::number(intervalMs / 1000.0), QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y())};
    }
    tool(QStringLiteral("xdotool"), chain);
}

void RunningApplication::release(const QString& holding) const
{
    const QStringList held = holding.isEmpty() ? QStringList() : QStringList{QStringLiteral("keyup"), holding};
    tool(QStringLiteral("xdotool"), QStringList{QStringLiteral("sleep"), QStringLiteral("0.03"), QStringLiteral("mouseup"), QStringLiteral("1")} + held);
}

QImage RunningApplication::windowImage(const Window& window) const { return ScreenPixels(display_).readWindow(window.id); }

QImage RunningApplication::grab(const QRect& area) const { return ScreenPixels(display_).read(area); }

std::optional<RunningApplication::Window> RunningApplication::settledIsland() const
{
    if (!waitUntil([&] { return !windows().empty(); }))
        return std::nullopt;
    runEventsFor(500);
    const auto shown = windows();
    if (shown.size() != 1)
        return std::nullopt;
    return shown.front();
}

bool RunningApplication::tool(const QString& program, const QStringList& arguments, QString* output) const
{
    QProcess process;
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display_);
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    const bool finished = process.waitForFinished(60000);
    if (output)
        *output = QString::fromUtf8(process.readAllStandardOutput());
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace quorvia::test

namespace quorvia::test {

void RunningApplication::noteHides(const Window& window) const
{
    const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection_, window.id, XCB_CW_EVENT_MASK, &mask);
    hold(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    wasHidden(window);
}

bool RunningApplication::wasHidden(const Window& window) const
{
    bool hidden = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
        if ((event->response_type & 0x7f) == XCB_UNMAP_NOTIFY && reinterpret_cast<xcb_unmap_notify_event_t*>(event)->window == window.id)
            hidden = true;
        std::free(event);
    }
    return hidden;
}

} // namespace quorvia::test
