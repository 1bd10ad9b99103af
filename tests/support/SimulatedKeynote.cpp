#include "support/SimulatedKeynote.h"

#include "platform/core/MainQueue.h"
#include "support/FakeWorkspace.h"
#include "support/ManualScheduler.h"

#include <algorithm>
#include <chrono>

namespace quorvia::test {

using platform::ScriptResult;

SimulatedKeynote::Document SimulatedKeynote::Document::withSlides(const QString& name,
                                                                  const std::optional<QString>& path, int slideCount)
{
    Document document{name, path, {}, 1};
    document.notes.resize(static_cast<std::size_t>(std::max(slideCount, 1)));
    return document;
}

SimulatedKeynote::SimulatedKeynote(QString bundleIdentifier) : bundleIdentifier_(std::move(bundleIdentifier)) {}

SimulatedKeynote::~SimulatedKeynote() { setHolding(false); }

SimulatedKeynote::Document* SimulatedKeynote::front()
{
    return documents_.empty() ? nullptr : &documents_.back();
}

const SimulatedKeynote::Document* SimulatedKeynote::front() const
{
    return documents_.empty() ? nullptr : &documents_.back();
}

void SimulatedKeynote::attach(FakeWorkspace& workspace)
{
    workspace_ = &workspace;
    workspace.setInstalled(bundleIdentifier_);
    workspace.onOpenDocument = [this](const QString& path, const QString& bundleIdentifier) {
        if (bundleIdentifier != bundleIdentifier_)
            return;
        std::optional<Document> file;
        {
            std::lock_guard lock(mutex_);
            if (auto it = files_.find(path); it != files_.end())
                file = it->second;
        }
        const auto openFile = [this, file] {
            if (!isRunning())
                launch();
            if (file)
                open(*file);
        };
        if (isRunning())
            openFile();
        else
            platform::MainQueue::asyncAfter(launchDelay, openFile);
    };
}

void SimulatedKeynote::launch()
{
    {
        std::lock_guard lock(mutex_);
        if (running_)
            return;
        running_ = true;
    }
    if (workspace_)
        workspace_->launch({bundleIdentifier_, processIdentifier, QStringLiteral("Keynote")});
}

void SimulatedKeynote::quit()
{
    {
        std::lock_guard lock(mutex_);
        if (!running_)
            return;
        running_ = false;
        playing_ = false;
        documents_.clear();
    }
    if (workspace_)
        workspace_->terminate(bundleIdentifier_);
}

bool SimulatedKeynote::isRunning() const
{
    std::lock_guard lock(mutex_);
    return running_;
}

void SimulatedKeynote::addFile(const Document& document)
{
    std::lock_guard lock(mutex_);
    files_[document.path.value_or(document.name)] = document;
}

void SimulatedKeynote::open(const Document& document)
{
    std::lock_guard lock(mutex_);
    // An already open file comes to the front as it is.
    for (auto it = documents_.begin(); it != documents_.end(); ++it) {
        if (document.path && it->path == document.path) {
            auto existing = *it;
            documents_.erase(it);
            documents_.push_back(existing);
            return;
        }
    }
    documents_.push_back(document);
}

void SimulatedKeynote::bringToFront(const QString& name)
{
    std::lock_guard lock(mutex_);
    for (auto it = documents_.begin(); it != documents_.end(); ++it) {
        if (it->name == name) {
            auto document = *it;
            documents_.erase(it);
            documents_.push_back(document);
            return;
        }
    }
}

std::optional<SimulatedKeynote::Document> SimulatedKeynote::frontDocument() const
{
    std::lock_guard lock(mutex_);
    const Document* document = front();
    return document ? std::optional(*document) : std::nullopt;
}

void SimulatedKeynote::setCurrentSlide(int slide)
{
    std::lock_guard lock(mutex_);
    if (Document* document = front())
        document->currentSlide = std::clamp(slide, 1, document->slideCount());
}

QString SimulatedKeynote::notes(int slide) const
{
    std::lock_guard lock(mutex_);
    const Document* document = front();
    if (!document || slide < 1 || slide > document->slideCount())
        return {};
    return document->notes[static_cast<std::size_t>(slide - 1)];
}

void SimulatedKeynote::setAutomationDenied(bool denied)
{
    std::lock_guard lock(mutex_);
    denied_ = denied;
}

void SimulatedKeynote::replyNextWith(ScriptResult result)
{
    std::lock_guard lock(mutex_);
    overrides_.push_back(std::move(result));
}

void SimulatedKeynote::setHolding(bool holding)
{
    std::lock_guard lock(mutex_);
    holding_ = holding;
    if (!holding) {
        releasedTickets_ = heldTickets_;
        changed_.notify_all();
    }
}

bool SimulatedKeynote::waitUntilHeld(int timeoutMs)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return waiting_ > 0; });
}

void SimulatedKeynote::release()
{
    std::lock_guard lock(mutex_);
    ++releasedTickets_;
    changed_.notify_all();
}

std::vector<SimulatedKeynote::Request> SimulatedKeynote::receivedRequests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

int SimulatedKeynote::scriptCount() const
{
    std::lock_guard lock(mutex_);
    return static_cast<int>(received_.size());
}

std::vector<qint64> SimulatedKeynote::writtenSlides() const
{
    std::lock_guard lock(mutex_);
    return written_;
}

void SimulatedKeynote::clearLog()
{
    std::lock_guard lock(mutex_);
    received_.clear();
    requests_.clear();
    written_.clear();
}

QueueDrainThread::QueueDrainThread(ManualScheduler& scheduler, const QString& label)
    : thread_([&scheduler, label] { scheduler.drainQueue(label); })
{
}

QueueDrainThread::~QueueDrainThread()
{
    if (thread_.joinable())
        thread_.join();
}

} // namespace quorvia::test
