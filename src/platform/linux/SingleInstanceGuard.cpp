#include "platform/linux/SingleInstanceGuard.h"

#include "platform/linux/SettingsDefaults.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <filesystem>
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

std::optional<uid_t> peerUid(qintptr descriptor)
{
    ucred credentials {};
    socklen_t length = sizeof credentials;
    if (descriptor < 0 || ::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
        return std::nullopt;
    return credentials.uid;
}

QString say(const QString& text)
{
    std::fprintf(stderr, "%s\n", qPrintable(QStringLiteral("Quorvia：") + text));
    return text;
}

QString settingsFolder()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return config.isEmpty() ? QString() : config + applicationFolder;
}

bool isDenied(int error) { return error == EACCES || error == EPERM || error == EROFS; }

enum class LockFile { held, busy, unneeded, failed };

LockFile lockFile(const QString& path, FileDescriptor& fd, int& error)
{
    const QByteArray encoded = QFile::encodeName(path);
    const QByteArray folder = QFile::encodeName(QFileInfo(path).path());
    std::error_code made;
    std::filesystem::create_directories(folder.toStdString(), made);
    // A folder nobody can make or write holds nothing of ours, and no other
    // launch can write there either.
    if (made && isDenied(made.value()))
        return LockFile::unneeded;
    fd.reset(::open(encoded.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600));
    if (!fd.isOpen()) {
        error = errno == ELOOP ? EEXIST : errno;
        return isDenied(error) && ::access(folder.constData(), W_OK) != 0 && isDenied(errno) ? LockFile::unneeded
                                                                                              : LockFile::failed;
    }
    // Only a plain file of this user's: anything else there is not our lock.
    struct stat status {};
    const int statError = ::fstat(fd.get(), &status) == 0 ? 0 : errno;
    if (statError != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::getuid()) {
        error = statError != 0 ? statError : EEXIST;
        fd.reset();
        return LockFile::failed;
    }
    int locked = -1;
    do
        locked = ::flock(fd.get(), LOCK_EX | LOCK_NB);
    while (locked != 0 && errno == EINTR);
    if (locked == 0)
        return LockFile::held;
    error = errno;
    fd.reset();
    return error == EWOULDBLOCK ? LockFile::busy : LockFile::failed;
}
} // namespace

SingleInstanceGuard::SingleInstanceGuard(QString serverName, std::vector<Lock> locks)
    : serverName_(std::move(serverName)), locks_(std::move(locks))
{
}

SingleInstanceGuard::~SingleInstanceGuard()
{
    // The locks stay until the process ends: the store may still write on the way out.
    for (FileDescriptor& fd : held_)
        fd.release();
    delete server_;
    server_ = nullptr;
}

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

SingleInstanceGuard::Locking SingleInstanceGuard::takeLocks(QString& refusal)
{
    // All or none: a launch that must give way holds nothing another needs.
    std::vector<FileDescriptor> taken;
    for (const Lock& lock : locks_) {
        FileDescriptor fd;
        int error = 0;
        switch (lockFile(lock.path, fd, error)) {
        case LockFile::held:
            taken.push_back(std::move(fd));
            break;
        case LockFile::unneeded:
            break;
        case LockFile::busy:
            return Locking::busy;
        case LockFile::failed:
            refusal = lock.refusal.arg(SettingsDefaults::describeError(error));
            return Locking::failed;
        }
    }
    held_ = std::move(taken);
    return Locking::held;
}

SingleInstanceGuard::Claim SingleInstanceGuard::claim()
{
    // Who runs is decided by locks held for the whole life of the running
    // instance: two launches writing one store delete each other's files, so
    // no launch that cannot hold them goes on, whatever became of the socket.
    // A held lock cannot be taken; a socket can be replaced by anyone who
    // listens at its path.
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        QString refusal;
        switch (takeLocks(refusal)) {
        case Locking::held: {
            // No folder here can be written, so no lock says who runs: one
            // that already listens still gets the reopen.
            if (held_.empty() && !serverName_.isEmpty() && offerReopen() == Offer::taken)
                return {Outcome::handedOver, {}};
            Claim claim{Outcome::primary, {}};
            listen(claim);
            return claim;
        }
        case Locking::failed:
            return {Outcome::refused, say(refusal)};
        case Locking::busy:
            break;
        }
        if (serverName_.isEmpty())
            return {Outcome::refused,
                    say(QStringLiteral("已有一个 Quorvia 在运行，但没有只属于当前用户的文件夹可放置单实例通道，无法把窗口交给它；本次启动不再继续。"))};
        // The running instance may have taken the lock a moment ago and not be
        // listening yet, or may have ended since; one that listens and does
        // not let us in is still running, and is left be.
        const Offer offer = offerReopen();
        if (offer == Offer::taken)
            return {Outcome::handedOver, {}};
        if (offer == Offer::unanswered || waited.elapsed() >= handOverPatienceMs)
            return {Outcome::refused, say(QStringLiteral("已有一个 Quorvia 在运行，但它没有应答；本次启动不再继续。"))};
        QThread::msleep(50);
    }
}

SingleInstanceGuard::Offer SingleInstanceGuard::offerReopen() const
{
    QLocalSocket probe;
    probe.connectToServer(serverName_);
    if (!probe.waitForConnected(handOverTimeoutMs)) {
        const auto error = probe.error();
        probe.abort();
        // Nobody listens at the path yet: a socket left by a dead instance, or none.
        return error == QLocalSocket::ServerNotFoundError || error == QLocalSocket::ConnectionRefusedError
            ? Offer::notListening
            : Offer::unanswered;
    }
    // Only an instance of this user's is handed the reopen.
    if (peerUid(probe.socketDescriptor()) != ::getuid()) {
        probe.abort();
        return Offer::notListening;
    }
    probe.write(reopenMessage);
    const bool written = probe.waitForBytesWritten(handOverTimeoutMs);
    written ? probe.disconnectFromServer() : probe.abort();
    return written ? Offer::taken : Offer::unanswered;
}

void SingleInstanceGuard::listen(Claim& claim)
{
    if (serverName_.isEmpty()) {
        claim.reason = say(QStringLiteral("无法建立单实例通道（没有只属于当前用户的文件夹可放置它），再次启动时无法把窗口交给本实例。"));
        return;
    }
    // Only the locks' holder gets here, so a socket at the path is a dead
    // instance's, or one that no longer answers where nothing needed a lock.
    QLocalServer::removeServer(serverName_);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    server_->setMaxPendingConnections(maximumConnections);
    if (!server_->listen(serverName_)) {
        claim.reason = say(QStringLiteral("无法建立单实例通道（%1），再次启动时无法把窗口交给本实例。").arg(server_->errorString()));
        delete server_;
        server_ = nullptr;
        return;
    }
    connect(server_, &QLocalServer::newConnection, this, &SingleInstanceGuard::acceptConnection);
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

} // namespace quorvia::platform::native
