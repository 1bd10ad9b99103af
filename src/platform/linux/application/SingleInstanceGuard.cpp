#include "platform/linux/application/SingleInstanceGuard.h"

#include "platform/files/ErrorDescription.h"
#include "platform/files/FileDescriptor.h"
#include "platform/files/ProcessStamp.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <expected>
#include <optional>
#include <utility>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace quorvia::platform::native {

namespace {
const QByteArray reopenMessage = QByteArrayLiteral("reopen\n");
// The running instance's answer once it took the reopen.
const QByteArray reopenedMessage = QByteArrayLiteral("reopened\n");
// Its answer while it quits: the launch waits for it to end.
const QByteArray quittingMessage = QByteArrayLiteral("quitting\n");
// What a socket's path may hold, its final NUL aside.
constexpr qsizetype maximumSocketPath = sizeof(sockaddr_un::sun_path) - 1;
const QString applicationFolder = QStringLiteral("/com.local.quorvia.mvp");

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

std::optional<ucred> peerOf(qintptr descriptor)
{
    ucred credentials {};
    socklen_t length = sizeof credentials;
    if (descriptor < 0 || ::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
        return std::nullopt;
    return credentials;
}

std::optional<uid_t> peerUid(qintptr descriptor)
{
    const auto peer = peerOf(descriptor);
    return peer ? std::optional<uid_t>(peer->uid) : std::nullopt;
}

// How often a launch waiting for an answer looks whether the instance was stopped meanwhile.
constexpr int stoppedCheckMs = 50;

QString say(const QString& text)
{
    std::fprintf(stderr, "%s\n", qPrintable(QStringLiteral("Quorvia：") + text));
    return text;
}

// A socket listening at `path` for this user alone, else why not.
std::expected<FileDescriptor, QString> listeningSocket(const QString& path, int backlog)
{
    const QByteArray name = QFile::encodeName(path);
    if (name.size() > maximumSocketPath)
        return std::unexpected(QStringLiteral("路径 %1 过长").arg(path));
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    FileDescriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!socket.isOpen())
        return std::unexpected(QStringLiteral("无法创建套接字：%1").arg(describeError(errno)));
    if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        // What is left at the path after a dead instance's socket was removed is not ours to clear.
        return std::unexpected(error == EADDRINUSE ? QStringLiteral("%1 已被同名的文件或文件夹占用").arg(path)
                                                   : QStringLiteral("无法在 %1 放置套接字：%2").arg(path, describeError(error)));
    }
    // Nobody gets in before it listens, so the mode holds from the first peer on.
    if (::chmod(name.constData(), 0600) != 0 || ::listen(socket.get(), backlog) != 0) {
        const QString why = QStringLiteral("无法在 %1 等待连接：%2").arg(path, describeError(errno));
        ::unlink(name.constData());
        return std::unexpected(why);
    }
    return socket;
}

QString settingsFolder()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return config.isEmpty() ? QString() : config + applicationFolder;
}

} // namespace

SingleInstanceGuard::SingleInstanceGuard(QString serverName, std::vector<Lock> locks)
    : serverName_(std::move(serverName)), locks_(std::make_shared<InstanceLocks>(std::move(locks)))
{
}

SingleInstanceGuard::~SingleInstanceGuard()
{
    delete server_;
    server_ = nullptr;
}

std::shared_ptr<WriteGate> SingleInstanceGuard::writeGate() const { return locks_; }

std::vector<SingleInstanceGuard::Lock> SingleInstanceGuard::defaultLocks()
{
    std::vector<Lock> locks;
    if (const QString settings = settingsFolder(); !settings.isEmpty())
        locks.push_back({settings + QStringLiteral("/instance.lock"),
                         QStringLiteral("无法锁定设置文件夹（%1）。为免两个 Quorvia 同时写入设置而丢失项目，本次启动不再继续。")});
    if (const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation); !data.isEmpty())
        locks.push_back({data + applicationFolder + QStringLiteral("/instance.lock"),
                         QStringLiteral("无法锁定演讲项目文件夹（%1）。为免两个 Quorvia 同时写入演讲项目而丢失文件，本次启动不再继续。")});
    return locks;
}

QString SingleInstanceGuard::defaultServerName()
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
    if (!config.isEmpty() && fits(instance + QStringLiteral("/socket")) && QDir().mkpath(config)
        && !privateFolder(instance).isEmpty())
        return instance + QStringLiteral("/socket");
    return {};
}

SingleInstanceGuard::Claim SingleInstanceGuard::claim()
{
    // Who runs is decided by locks held for the whole life of the running
    // instance: two launches writing one store delete each other's files, so
    // no launch that cannot hold them goes on, whatever became of the socket.
    // A held lock cannot be taken; a socket can be replaced by anyone who
    // listens at its path.
    QDeadlineTimer patience(patienceMs);
    bool waitSaid = false;
    const QString unanswered = QStringLiteral("已有一个 Quorvia 在运行，但它没有应答；本次启动不再继续。");
    for (;;) {
        QString refusal;
        Offer offer = Offer::notListening;
        switch (locks_->take(&refusal)) {
        case InstanceLocks::Taking::held:
            // One that began where no folder could be written holds no lock
            // yet runs, and takes the locks before it writes: it is given way
            // to as any running instance is.
            offer = serverName_.isEmpty() ? Offer::notListening : offerReopen(patience);
            if (offer == Offer::notListening)
                return {Outcome::primary, {}};
            // Given back at once: the running one may write while this one says why it stops.
            locks_->release();
            break;
        case InstanceLocks::Taking::failed:
            return {Outcome::refused, say(refusal)};
        case InstanceLocks::Taking::busy:
            if (serverName_.isEmpty())
                return {Outcome::refused,
                        say(QStringLiteral("已有一个 Quorvia 在运行，但没有只属于当前用户的文件夹可放置单实例通道，无法把窗口交给它；本次启动不再继续。"))};
            // The running instance may have taken the lock a moment ago and not be
            // listening yet, or may have ended since; one that listens and does
            // not answer is still running, and is left be.
            offer = offerReopen(patience);
            break;
        }
        if (offer == Offer::taken)
            return {Outcome::handedOver, {}};
        // One that quits is waited for however long its last alert stands: it
        // answers, so it is not stuck.
        if (offer == Offer::quitting) {
            if (!std::exchange(waitSaid, true))
                say(QStringLiteral("已有一个 Quorvia 正在退出，本次启动等它退出后继续。"));
            patience = QDeadlineTimer(patienceMs);
        } else if (offer == Offer::unanswered || patience.hasExpired())
            return {Outcome::refused, say(unanswered)};
        QThread::msleep(50);
    }
}

SingleInstanceGuard::Offer SingleInstanceGuard::offerReopen(const QDeadlineTimer& deadline) const
{
    const auto left = [&](qint64 most) { return int(std::clamp<qint64>(deadline.remainingTime(), 0, most)); };
    QLocalSocket probe;
    probe.connectToServer(serverName_);
    if (!probe.waitForConnected(left(handOverConnectMs))) {
        const auto error = probe.error();
        probe.abort();
        // Nobody listens at the path yet: a socket left by a dead instance, or none.
        return error == QLocalSocket::ServerNotFoundError || error == QLocalSocket::ConnectionRefusedError
            ? Offer::notListening
            : Offer::unanswered;
    }
    // Only an instance of this user's is handed the reopen.
    const auto peer = peerOf(probe.socketDescriptor());
    if (!peer || peer->uid != ::getuid()) {
        probe.abort();
        return Offer::notListening;
    }
    // The kernel lets a stopped instance's peer in and takes its bytes: only
    // the instance's own answer says it took the reopen. A stopped one is
    // handed nothing it would act on once continued, and not waited for; a
    // loaded one is, until the deadline.
    if (isProcessStopped(peer->pid)) {
        probe.abort();
        return Offer::unanswered;
    }
    probe.write(reopenMessage);
    probe.waitForBytesWritten(left(handOverPatienceMs));
    while (!probe.canReadLine() && probe.bytesAvailable() < maximumMessageBytes && !deadline.hasExpired()
           && probe.state() == QLocalSocket::ConnectedState && !isProcessStopped(peer->pid))
        probe.waitForReadyRead(left(stoppedCheckMs));
    if (!probe.canReadLine()) {
        // Let go of unheard: cut off at the end of a quit, or as one of a crowd.
        const bool closed = probe.state() != QLocalSocket::ConnectedState;
        probe.abort();
        return closed ? Offer::closed : Offer::unanswered;
    }
    const QByteArray answer = probe.readLine(maximumMessageBytes);
    probe.abort();
    return answer == reopenedMessage ? Offer::taken : answer == quittingMessage ? Offer::quitting : Offer::unanswered;
}

QString SingleInstanceGuard::listen()
{
    const QString unreachable = QStringLiteral("无法建立单实例通道（%1），再次启动时无法把窗口交给本实例。");
    if (serverName_.isEmpty())
        return say(unreachable.arg(QStringLiteral("没有只属于当前用户的文件夹可放置它")));
    // Launches since the claim gave way or waited for this one, so a socket at
    // the path is a dead instance's.
    QLocalServer::removeServer(serverName_);
    server_ = new QLocalServer(this);
    server_->setMaxPendingConnections(maximumConnections);
    auto socket = listeningSocket(serverName_, server_->listenBacklogSize());
    if (!socket || !server_->listen(socket->get())) {
        delete server_;
        server_ = nullptr;
        return say(unreachable.arg(socket ? QStringLiteral("系统不接受套接字") : socket.error()));
    }
    socket->release();
    connect(server_, &QLocalServer::newConnection, this, &SingleInstanceGuard::acceptConnection);
    return {};
}

void SingleInstanceGuard::stopListening()
{
    delete server_;
    server_ = nullptr;
}

void SingleInstanceGuard::acceptConnection()
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
                disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
                if (!reopen) {
                    socket->abort();
                    socket->deleteLater();
                    return;
                }
                // Answered before the reopen runs, which may take a while. A
                // reopen while quitting would show nothing and leave nothing running.
                const bool quitting = isQuitting && isQuitting();
                socket->write(quitting ? quittingMessage : reopenedMessage);
                socket->flush();
                socket->disconnectFromServer();
                if (!quitting && onReopen)
                    onReopen();
            } else if (socket->bytesAvailable() >= maximumMessageBytes) {
                socket->abort();
                socket->deleteLater();
            }
        });
    }
}

} // namespace quorvia::platform::native
