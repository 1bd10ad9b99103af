#include "support/FakeVideoSurface.h"

namespace quorvia::test {

void FakeVideoSurface::enqueue(const platform::SampleBuffer& buffer)
{
    ++enqueued;
    calls.push_back(QStringLiteral("enqueue"));
    VideoSurface::enqueue(buffer);
}

void FakeVideoSurface::flush()
{
    ++flushes;
    calls.push_back(QStringLiteral("flush"));
    forcedStatus.reset();
    needsFlush = false;
    VideoSurface::flush();
}

void FakeVideoSurface::flushAndRemoveImage()
{
    ++flushesWithRemoval;
    calls.push_back(QStringLiteral("flushRemove"));
    forcedStatus.reset();
    needsFlush = false;
    VideoSurface::flushAndRemoveImage();
}

FakeVideoSurfaces::FakeVideoSurfaces()
{
    previous_ = platform::VideoSurface::setFactory([this](QWidget* parent) {
        auto* surface = new FakeVideoSurface(parent);
        created.emplace_back(surface);
        return surface;
    });
}

FakeVideoSurfaces::~FakeVideoSurfaces() { platform::VideoSurface::setFactory(std::move(previous_)); }

} // namespace quorvia::test
