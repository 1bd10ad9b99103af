#pragma once

#include "platform/FileDescriptor.h"

#include <QObject>
#include <QString>

#include <functional>
#include <vector>

class QLocalServer;

namespace quorvia::platform::native {

// Makes one launch the only writer of every folder the application writes:
// it holds a lock in each for its whole life, and a local socket in a folder
// only this user can enter lets a later launch hand it a reopen. A folder
// nobody can write needs no lock, since no second writer can exist there.
class SingleInstanceGuard final : public QObject {
    Q_OBJECT
public:
    struct Lock {
        QString path;
        // Said when the lock can be neither taken nor found held; %1 is why.
        QString refusal;
    };

    explicit SingleInstanceGuard(QString serverName = defaultServerName(), std::vector<Lock> locks = defaultLocks());
    ~SingleInstanceGuard() override;

    // The socket's path: in the session's runtime folder, else in a folder of
    // ours in the temporary folder, else in the config folder; each is used
    // only when it is this user's alone. Empty when none is.
    static QString defaultServerName();
    // One in the settings folder and one in the data folder, beside what each guards.
    static std::vector<Lock> defaultLocks();

    // A message longer than this, or one not finished within the time, ends its connection.
    static constexpr qint64 maximumMessageBytes = 4096;
    static constexpr int messageTimeoutMs = 1000;
    static constexpr int maximumConnections = 8;
    // How long a later launch waits for a running instance that has not begun to listen.
    static constexpr int handOverPatienceMs = 10000;
    // How long a listening instance may take to let a later launch in.
    static constexpr int handOverTimeoutMs = 1000;

    enum class Outcome {
        primary,    // this launch runs, the only writer
        handedOver, // another instance runs and was handed a reopen
        refused,    // this launch may not run, for the reason given
    };
    struct Claim {
        Outcome outcome = Outcome::refused;
        // Why a refused launch may not run, or why a running one cannot be
        // handed a reopen later; already said on the error stream.
        QString reason;
    };
    // Becomes the running instance, holding the locks until the process ends.
    // A launch that cannot hold them never runs: it hands a reopen to the
    // instance that does, or says why it cannot start. Without a socket the
    // holder still runs.
    Claim claim();

    // A later launch asked for a reopen.
    std::function<void()> onReopen;

private:
    enum class Locking { held, busy, failed };
    Locking takeLocks(QString& refusal);
    enum class Offer { taken, notListening, unanswered };
    Offer offerReopen() const;
    void listen(Claim& claim);
    void acceptConnection();

    QString serverName_;
    std::vector<Lock> locks_;
    std::vector<FileDescriptor> held_;
    QLocalServer* server_ = nullptr;
    int connections_ = 0;
};

} // namespace quorvia::platform::native
