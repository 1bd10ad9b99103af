#pragma once

#include "platform/CaptureService.h"

namespace quorvia::platform::native {

// Screen capture on X11: the displays of the display service and the
// applications that own windows on the X server. Outside an X11 session
// nothing can be captured with our exclusions, so every request fails.
class LinuxCaptureService final : public CaptureService {
public:
    void shareableContent(bool excludingDesktopWindows, bool onScreenWindowsOnly,
                          ContentCompletion completion) override;
    std::shared_ptr<CaptureStream> makeStream(const ContentFilter& filter, const StreamConfiguration& configuration,
                                              StopHandler onStopWithError) override;

    static bool isAvailable();
};

} // namespace quorvia::platform::native
