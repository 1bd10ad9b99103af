#pragma once

#include "platform/linux/application/InstanceLocks.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QLocalServer;

namespace quorvia::platform::native {

// Makes one launch the only writer of every folder the application writes:
// it holds a lock in each (InstanceLocks), and a local socket in a folder only
// this user can enter lets a later launch hand it a reopen. A launch that
// began without locks, where nothing could be written, listens all the same,
// so a later one gives way to it.
class SingleInstanceGuard final : public QObject {
    Q_OBJECT
public:
    using Lock = InstanceLocks::Lock;

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
    // How long, in all, a later launch waits for a running instance to listen
    // and to answer that it took the reopen: enough for one on a loaded
    // machine or just continued. A stopped one is not waited for.
    static constexpr int handOverPatienceMs = 10000;
    // How long a listening instance may take to let a later launch in: the
    // kernel does that at once, unless its backlog is full.
    static constexpr int handOverConnectMs = 2000;

    enum class Outcome {
        primary,    // this launch runs, the only writer
        handedOver, // another instance runs and was handed a reopen
        refused,    // this launch may not run, for the reason given
    };
    struct Claim {
        Outcome outcome = Outcome::refused;
        // Why a refused launch may not run; already said on the error stream.
        QString reason;
    };
    // Becomes the running instance, holding the locks until the process ends.
    // A launch that cannot hold them, or finds an instance listening, never
    // runs: it hands a reopen to that instance, or says why it cannot start;
    // beside one that is quitting it waits for its end, and runs.
    // Without a socket the holder still runs.
    Claim claim();
    // Takes reopens from later launches from now on; until then they wait for
    // this one. Once the launch is ready to answer them. Problems are said on
    // the error stream, and returned: the instance runs without the socket.
    QString listen();
    // Once this instance is on its way out: a later launch then waits for the
    // locks and runs, rather than waiting for an answer that never comes.
    void stopListening();

    // Asked before each write into a folder: no error when this launch holds
    // every lock guarding it, else why not. Usable after the guard is gone.
    std::shared_ptr<WriteGate> writeGate() const;

    // This launch's patience as above; tests shorten it.
    int patienceMs = handOverPatienceMs;

    // A later launch asked for a reopen.
    std::function<void()> onReopen;
    // Whether this instance is quitting: a later launch is then told to wait
    // for its end, and runs, unless the quit is called off, when its next ask
    // is a reopen as usual.
    std::function<bool()> isQuitting;

private:
    // `quitting` and `closed` are waited out: the instance is on its way out.
    enum class Offer { taken, notListening, unanswered, quitting, closed };
    Offer offerReopen(const QDeadlineTimer& deadline) const;
    void acceptConnection();

    QString serverName_;
    std::shared_ptr<InstanceLocks> locks_;
    QLocalServer* server_ = nullptr;
    int connections_ = 0;
};

} // namespace quorvia::platform::native
