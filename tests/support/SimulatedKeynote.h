#pragma once

#include "platform/system/ScriptRunner.h"

#include <QString>
#include <QStringList>

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace quorvia::test {

class FakeWorkspace;
class ManualScheduler;

// Keynote as the system's scripts see it. It understands exactly the texts the
// controller builds, line by line, and answers in their reply forms; any other
// text is refused as a script error, so it also checks the builders. Safe to
// call from the probe queue on another thread.
class SimulatedKeynote final : public platform::ScriptRunner {
public:
    static constexpr int syntaxErrorNumber = -2740;
    static constexpr int notRunningErrorNumber = -600;
    static constexpr int invalidIndexErrorNumber = -1719;
    static constexpr qint64 processIdentifier = 4242;

    struct Document {
        QString name;
        std::optional<QString> path;
        std::vector<QString> notes; // one per slide; its size is the slide count
        int currentSlide = 1;

        static Document withSlides(const QString& name, const std::optional<QString>& path, int slideCount);
        int slideCount() const { return static_cast<int>(notes.size()); }
    };

    // What a received script asked for.
    enum class Request { stateRead, goToSlide, playback, notesRead, notesReplace };

    explicit SimulatedKeynote(QString bundleIdentifier = QStringLiteral("com.apple.Keynote"));
    ~SimulatedKeynote() override;

    platform::ScriptResult run(const QString& source) override;

    // Running. With a workspace attached, Keynote is installed there, its launch
    // and quit appear in the running list, and opening a file through the
    // workspace opens it here (launching first, after launchDelay seconds).
    void attach(FakeWorkspace& workspace);
    void launch();
    void quit();
    double launchDelay = 0;

    // Files on disk that opening through the workspace can find.
    void addFile(const Document& document);

    // Documents; the last opened is in front.
    void open(const Document& document);
    void bringToFront(const QString& name);
    std::optional<Document> frontDocument() const;
    void setCurrentSlide(int slide);
    QString notes(int slide) const;

    // Failures.
    void setAutomationDenied(bool denied);
    // The next script is still checked, then answered with this instead.
    void replyNextWith(platform::ScriptResult result);

    // Holding: while on, each script waits inside run() until released. Only
    // useful when the probe queue runs on another thread (QueueDrainThread).
    void setHolding(bool holding);
    bool waitUntilHeld(int timeoutMs = 60000);
    void release();

    // What was received.
    std::vector<Request> receivedRequests() const;
    int scriptCount() const;
    // Slides whose notes were written, in writing order.
    std::vector<qint64> writtenSlides() const;
    void clearLog();

private:
    struct Parsed;
    std::optional<Parsed> parse(const QString& source) const;
    platform::ScriptResult evaluate(const Parsed& script);
    platform::ScriptReply stateReply() const;
    bool isRunning() const;
    Document* front();
    const Document* front() const;

    const QString bundleIdentifier_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool running_ = false;
    bool denied_ = false;
    bool playing_ = false;
    std::vector<Document> documents_; // front is last
    std::map<QString, Document> files_;
    std::deque<platform::ScriptResult> overrides_;
    bool holding_ = false;
    int heldTickets_ = 0;
    int releasedTickets_ = 0;
    int waiting_ = 0;
    QStringList received_;
    std::vector<Request> requests_;
    std::vector<qint64> written_;
    FakeWorkspace* workspace_ = nullptr;
};

// Drains one serial queue on a helper thread, so a script held inside the
// simulated Keynote blocks that thread and not the test. Joins when destroyed.
class QueueDrainThread {
public:
    QueueDrainThread(ManualScheduler& scheduler, const QString& label);
    ~QueueDrainThread();
    QueueDrainThread(const QueueDrainThread&) = delete;
    QueueDrainThread& operator=(const QueueDrainThread&) = delete;

private:
    std::thread thread_;
};

} // namespace quorvia::test
