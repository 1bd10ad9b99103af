#pragma once

#include "platform/core/Notification.h"

#include <functional>
#include <memory>
#include <vector>

namespace quorvia::platform {

class NotificationCenter;

// Removes its observer when destroyed; movable, not copyable.
class Observation {
public:
    Observation() = default;
    Observation(Observation&&) noexcept;
    Observation& operator=(Observation&&) noexcept;
    Observation(const Observation&) = delete;
    Observation& operator=(const Observation&) = delete;
    ~Observation();

    void reset();
    bool isActive() const;

private:
    friend class NotificationCenter;
    struct Entry;
    explicit Observation(std::shared_ptr<Entry> entry);
    std::shared_ptr<Entry> entry_;
};

// Main thread only. Delivery is synchronous and in registration order.
class NotificationCenter {
public:
    using Callback = std::function<void(const Notification&)>;

    static NotificationCenter& defaultCenter();

    void post(const QString& name, const void* sender = nullptr, const QVariantMap& userInfo = {});
    // sender == nullptr observes every sender.
    [[nodiscard]] Observation observe(const QString& name, const void* sender, Callback callback);

    std::size_t observerCount() const;

private:
    std::vector<std::weak_ptr<Observation::Entry>> entries_;
};

} // namespace quorvia::platform
