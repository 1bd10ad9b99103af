#pragma once

#include "platform/capture/VideoSurface.h"

#include <QPointer>

#include <vector>

namespace quorvia::test {

// A surface whose renderer state the test sets; it records what it was given
// and draws what it holds like the real one.
class FakeVideoSurface final : public platform::VideoSurface {
public:
    using VideoSurface::VideoSurface;

    Status status() const override { return forcedStatus ? *forcedStatus : VideoSurface::status(); }
    bool requiresFlushToResumeDecoding() const override { return needsFlush; }
    bool isReadyForMoreMediaData() const override { return ready; }

    void enqueue(const platform::SampleBuffer& buffer) override;
    void flush() override;
    void flushAndRemoveImage() override;

    std::optional<Status> forcedStatus;
    bool needsFlush = false;
    bool ready = true;
    int enqueued = 0;
    int flushes = 0;
    int flushesWithRemoval = 0;
    // Calls in order: "enqueue", "flush", "flushRemove".
    std::vector<QString> calls;
};

// Makes every surface created while it lives a FakeVideoSurface.
class FakeVideoSurfaces {
public:
    FakeVideoSurfaces();
    ~FakeVideoSurfaces();
    FakeVideoSurfaces(const FakeVideoSurfaces&) = delete;
    FakeVideoSurfaces& operator=(const FakeVideoSurfaces&) = delete;

    // The surfaces created, oldest first; destroyed ones read null.
    std::vector<QPointer<FakeVideoSurface>> created;
    FakeVideoSurface* last() const { return created.empty() ? nullptr : created.back().data(); }

private:
    platform::VideoSurface::Factory previous_;
};

} // namespace quorvia::test
