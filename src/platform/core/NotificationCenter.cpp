#include "platform/core/NotificationCenter.h"

#include <algorithm>

namespace quorvia::platform {

struct Observation::Entry {
    QString name;
    const void* sender = nullptr;
    NotificationCenter::Callback callback;
    bool active = true;
};

Observation::Observation(std::shared_ptr<Entry> entry) : entry_(std::move(entry)) {}
Observation::Observation(Observation&& other) noexcept : entry_(std::move(other.entry_)) {}

Observation& Observation::operator=(Observation&& other) noexcept
{
    if (this != &other) {
        reset();
        entry_ = std::move(other.entry_);
    }
    return *this;
}

Observation::~Observation() { reset(); }

void Observation::reset()
{
    if (entry_) {
        entry_->active = false;
        entry_->callback = nullptr;
        entry_.reset();
    }
}

bool Observation::isActive() const { return entry_ && entry_->active; }

NotificationCenter& NotificationCenter::defaultCenter()
{
    static NotificationCenter center;
    return center;
}

void NotificationCenter::post(const QString& name, const void* sender, const QVariantMap& userInfo)
{
    // Snapshot first: observers may add or remove observers while we deliver.
    std::vector<std::shared_ptr<Observation::Entry>> targets;
    for (const auto& weak : entries_) {
        auto entry = weak.lock();
        if (entry && entry->active && entry->name == name && (entry->sender == nullptr || entry->sender == sender))
            targets.push_back(std::move(entry));
    }
    const Notification notification{name, sender, userInfo};
    for (const auto& entry : targets) {
        if (!entry->active || !entry->callback)
            continue;
        auto callback = entry->callback; // survives the observer resetting itself
        callback(notification);
    }
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                  [](const auto& weak) {
                                      auto entry = weak.lock();
                                      return !entry || !entry->active;
                                  }),
                   entries_.end());
}

Observation NotificationCenter::observe(const QString& name, const void* sender, Callback callback)
{
    auto entry = std::make_shared<Observation::Entry>();
    entry->name = name;
    entry->sender = sender;
    entry->callback = std::move(callback);
    entries_.push_back(entry);
    return Observation(std::move(entry));
}

std::size_t NotificationCenter::observerCount() const
{
    return std::count_if(entries_.begin(), entries_.end(), [](const auto& weak) {
        auto entry = weak.lock();
        return entry && entry->active;
    });
}

} // namespace quorvia::platform
