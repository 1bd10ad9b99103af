#pragma once

#include "platform/capture/CaptureService.h"

#include <functional>

namespace quorvia::platform::native {

// Screen capture on X11: the displays of the display service and the
// applications that own windows on the X server. Outside an X11 session, and
// under XWayland, nothing can be captured with our exclusions, so every
// request fails.
class LinuxCaptureService final : public CaptureService {
public:
    void shareableContent(bool excludingDesktopWindows, bool onScreenWindowsOnly,
                          ContentCompletion completion) override;
    std::shared_ptr<CaptureStream> makeStream(const ContentFilter& filter, const StreamConfiguration& configuration,
                                              StopHandler onStopWithError) override;

    // Only on an X11 server that holds every window on screen.
    static bool isAvailable();

    using ExtensionProbe = std::function<bool(const char* extension)>;
    // Whether a grab of the server's root window shows every window, given
    // which extensions the server offers.
    static bool seesEveryWindow(const ExtensionProbe& serverHasExtension);
    // Asks the X server of Qt's connection; false without one.
    static bool serverHasExtension(const char* extension);
};

} // namespace quorvia::platform::native
