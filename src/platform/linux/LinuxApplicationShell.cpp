#include "platform/linux/LinuxApplicationShell.h"

#include "platform/Window.h"
#include "platform/linux/AboutPanel.h"
#include "platform/linux/QtStatusIcon.h"
#include "platform/linux/SettingsDefaults.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPlainTextEdit>
#include <QStandardPaths>
#include <QTextEdit>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace quorvia::platform::native {

namespace {
const QByteArray reopenMessage = QByteArrayLiteral("reopen\n");
constexpr int handOverTimeoutMs = 1000;
// What a socket's path may hold, its final NUL aside.
constexpr qsizetype maximumSocketPath = sizeof(sockaddr_un::sun_path) - 1;

// A folder nobody else can enter or replace: a real folder, not a link, this
// user's, closed to everyone else.
bool isPrivateFolder(const QString& path)
{
    struct stat status {};
    return !path.isEmpty() && ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISDIR(status.st_mode)
        && status.st_uid == ::getuid() && (status.st_mode & 077) == 0;
}

// Made when missing; an item already there is used only when it passes the check.
QString privateFolder(const QString& path)
{
    ::mkdir(QFile::encodeName(path).constData(), 0700);
    return isPrivateFolder(path) ? path : QString();
}

std::optional<uid_t> peerUid(qintptr descriptor)
{
    ucred credentials {};
    socklen_t length = sizeof credentials;
    if (descriptor < 0 || ::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
        return std::nullopt;
    return credentials.uid;
}

void say(const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(QStringLiteral("Quorvia：") + text)); }

QString settingsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/com.local.quorvia.mvp");
}
} // namespace

LinuxApplicationShell::LinuxApplicationShell(QString serverName, QString lockPath)
    : hasStatusArea(&QtStatusIcon::isAvailable), serverName_(std::move(serverName)), lockPath_(std::move(lockPath))
{
    qApp->installEventFilter(this);
}

LinuxApplicationShell::~LinuxApplicationShell()
{
    if (qApp)
        qApp->removeEventFilter(this);
    // The lock stays until the process ends: the store may still write on the way out.
    delete server_;
    server_ = nullptr;
}

QString LinuxApplicationShell::defaultLockPath() { return settingsFolder() + QStringLiteral("/instance.lock"); }

QString LinuxApplicationShell::defaultServerName()
{
    // The shared temporary folder is anyone's to squat a name in; these are not.
    // Each is tried only when the one before cannot hold the socket.
    const auto fits = [](const QString& path) { return QFile::encodeName(path).size() <= maximumSocketPath; };
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && isPrivateFolder(runtime) && fits(runtime + QStringLiteral("/quorvia-instance")))
        return runtime + QStringLiteral("/quorvia-instance");
    const QString temporary = QDir::tempPath() + QStringLiteral("/quorvia-") + QString::number(::getuid());
    if (fits(temporary + QStringLiteral("/instance")) && !privateFolder(temporary).isEmpty())
        return temporary + QStringLiteral("/instance");
    const QString config = settingsFolder();
    const QString instance = config + QStringLiteral("/instance");
    if (fits(instance + QStringLiteral("/socket")) && QDir().mkpath(config) && !privateFolder(instance).isEmpty())
        return instance + QStringLiteral("/socket");
    return {};
}

LinuxApplicationShell::Claim LinuxApplicationShell::claimPrimaryInstance()
{
    // Who runs is decided by a lock in the settings folder, held for the whole
    // life of the running instance: two launches writing one store delete each
    // other's files, so no launch that cannot hold it goes on, whatever
    // became of the socket. A held lock cannot be taken; a socket can be
    // replaced by anyone who listens at its path.
    const auto refuse = [](int error) {
        say(QStringLiteral("无法锁定设置文件夹（%1）。为免两个 Quorvia 同时写入设置而丢失项目，本次启动不再继续。")
                .arg(SettingsDefaults::describeError(error)));
        return Claim::refused;
    };
    const QByteArray lockPath = QFile::encodeName(lockPath_);
    if (lockPath.isEmpty())
        return refuse(ENOENT);
    QDir().mkpath(QFileInfo(lockPath_).path());
    const int fd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd < 0)
        return refuse(errno == ELOOP ? EEXIST : errno);
    // Only a plain file of this user's: anything else there is not our lock.
    struct stat status {};
    const int statError = ::fstat(fd, &status) == 0 ? 0 : errno;
    if (statError != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::getuid()) {
        ::close(fd);
        return refuse(statError != 0 ? statError : EEXIST);
    }
    int locked = -1;
    do
        locked = ::flock(fd, LOCK_EX | LOCK_NB);
    while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        const int error = errno;
        ::close(fd);
        if (error != EWOULDBLOCK)
            return refuse(error);
        if (serverName_.isEmpty()) {
            say(QStringLiteral("已有一个 Quorvia 在运行，但没有只属于当前用户的文件夹可放置单实例通道，无法把窗口交给它；本次启动不再继续。"));
            return Claim::refused;
        }
        return handOverReopen() ? Claim::handedOver : Claim::refused;
    }
    lockFd_ = fd;
    if (serverName_.isEmpty()) {
        say(QStringLiteral("无法建立单实例通道（没有只属于当前用户的文件夹可放置它），再次启动时无法把窗口交给本实例。"));
        return Claim::primary;
    }
    // Only the lock's holder gets here, so a socket at the path is a dead instance's.
    QLocalServer::removeServer(serverName_);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    server_->setMaxPendingConnections(maximumConnections);
    if (!server_->listen(serverName_)) {
        say(QStringLiteral("无法建立单实例通道（%1），再次启动时无法把窗口交给本实例。").arg(server_->errorString()));
        delete server_;
        server_ = nullptr;
        return Claim::primary;
    }
    connect(server_, &QLocalServer::newConnection, this, &LinuxApplicationShell::acceptConnection);
    return Claim::primary;
}

bool LinuxApplicationShell::handOverReopen()
{
    // The running instance may have taken the lock a moment ago and not be
    // listening yet; one that never answers is still running, and is left be.
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < handOverPatienceMs) {
        QLocalSocket probe;
        probe.connectToServer(serverName_);
        // Only an instance of this user's is handed the reopen.
        if (probe.waitForConnected(handOverTimeoutMs) && peerUid(probe.socketDescriptor()) == ::getuid()) {
            probe.write(reopenMessage);
            if (probe.waitForBytesWritten(handOverTimeoutMs)) {
                probe.disconnectFromServer();
                return true;
            }
        }
        probe.abort();
        QThread::msleep(50);
    }
    say(QStringLiteral("已有一个 Quorvia 在运行，但它没有应答；本次启动不再继续。"));
    return false;
}

void LinuxApplicationShell::acceptConnection()
{
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        // Another user's peer, or one more than the few a reopen needs, is dropped unheard.
        if (connections_ >= maximumConnections || peerUid(socket->socketDescriptor()) != ::getuid()) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++connections_;
        connect(socket, &QObject::destroyed, this, [this] { --connections_; });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        socket->setReadBufferSize(maximumMessageBytes);
        // One short message per connection, within the time; a peer that says
        // more or dawdles is cut off.
        QTimer::singleShot(messageTimeoutMs, socket, [socket] { socket->abort(); socket->deleteLater(); });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->canReadLine()) {
                const bool reopen = socket->readLine(maximumMessageBytes + 1) == reopenMessage;
                socket->abort();
                socket->deleteLater();
                if (reopen && onReopen)
                    onReopen();
            } else if (socket->bytesAvailable() >= maximumMessageBytes) {
                socket->abort();
                socket->deleteLater();
            }
        });
    }
}

void LinuxApplicationShell::terminate()
{
    if (awaitingReply_)
        return;
    const TerminateReply reply = shouldTerminate ? shouldTerminate() : TerminateReply::now;
    if (reply == TerminateReply::now)
        QCoreApplication::exit(0);
    else
        awaitingReply_ = true;
}

void LinuxApplicationShell::replyToTermination(bool shouldTerminate)
{
    awaitingReply_ = false;
    if (shouldTerminate)
        QCoreApplication::exit(0);
}

void LinuxApplicationShell::activateIgnoringOtherApps()
{
    if (QApplication::activeWindow())
        return;
    const auto windows = Window::allWindows();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        if ((*it)->isVisible() && (*it)->canBecomeKey()) {
            (*it)->activateWindow();
            return;
        }
    }
}

void LinuxApplicationShell::setMainMenu(std::vector<MenuItem> items)
{
    menu_ = std::move(items);
    statusIcon_.reset();
    if (!hasStatusArea || !hasStatusArea())
        return;
    // A click on the icon is a reopen, as a second launch is.
    statusIcon_ = std::make_unique<QtStatusIcon>(menu_, [this] {
        if (onReopen)
            onReopen();
    });
    statusIcon_->show();
}

Window* LinuxApplicationShell::standardAboutPanel()
{
    if (!aboutPanel_)
        aboutPanel_ = std::make_unique<AboutPanel>();
    return aboutPanel_.get();
}

void LinuxApplicationShell::orderFrontStandardAboutPanel()
{
    standardAboutPanel();
    aboutPanel_->present();
}

ApplicationShell::MonitorID LinuxApplicationShell::addLocalKeyMonitor(std::function<bool(const KeyPress&)> handler)
{
    const MonitorID id = nextMonitor_++;
    monitors_[id] = std::move(handler);
    return id;
}

void LinuxApplicationShell::removeLocalKeyMonitor(MonitorID id) { monitors_.erase(id); }

QWidget* LinuxApplicationShell::keyWindow() const { return QApplication::activeWindow(); }

bool LinuxApplicationShell::hasModalWindow() const { return QApplication::activeModalWidget() != nullptr; }

bool LinuxApplicationShell::focusIsInTextInput() const
{
    QWidget* focus = QApplication::focusWidget();
    return qobject_cast<QLineEdit*>(focus) || qobject_cast<QTextEdit*>(focus)
        || qobject_cast<QPlainTextEdit*>(focus);
}

bool LinuxApplicationShell::eventFilter(QObject* watched, QEvent* event)
{
    // A key press travels through its window before its widgets: seen once there.
    if (event->type() != QEvent::KeyPress || !watched->isWindowType())
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    KeyPress press;
    press.key = key->key() == Qt::Key_Left    ? KeyPress::Key::left
                : key->key() == Qt::Key_Right ? KeyPress::Key::right
                                              : KeyPress::Key::other;
    const auto modifiers = key->modifiers();
    press.command = modifiers & Qt::MetaModifier;
    press.control = modifiers & Qt::ControlModifier;
    press.option = modifiers & Qt::AltModifier;
    press.shift = modifiers & Qt::ShiftModifier;

    // Copies: a handler may add or remove monitors.
    const auto monitors = monitors_;
    for (const auto& [id, handler] : monitors)
        if (handler(press))
            return true;

    const QKeySequence typed(key->keyCombination());
    for (const auto& item : menu_) {
        if (!item.isSeparator && !item.shortcut.isEmpty() && item.shortcut.matches(typed) == QKeySequence::ExactMatch
            && item.action) {
            item.action();
            return true;
        }
    }
    return false;
}

} // namespace quorvia::platform::native
