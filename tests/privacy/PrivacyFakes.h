#pragma once

#include "support/FakeCaptureService.h"
#include "support/FakeDisplayService.h"
#include "support/FakePermissionService.h"
#include "support/FakePointerService.h"
#include "support/FakeProcessService.h"
#include "support/FakeVideoSurface.h"
#include "support/FakeWorkspace.h"
#include "support/TestPlatform.h"

#include <memory>

namespace quorvia::test {

// A captured frame: a status (none when absent), a picture and validity.
inline platform::SampleBuffer sampleFrame(std::optional<int> status, bool withImage = true, bool valid = true)
{
    platform::SampleBuffer buffer;
    buffer.frameStatus = status;
    buffer.image = withImage ? FakeCaptureStream::defaultImage() : QImage();
    buffer.isValid = valid;
    return buffer;
}

// Every platform service the privacy code uses, faked for one test; the screens are the test's to set.
struct PrivacyFakes {
    PrivacyFakes()
    {
        auto& p = env.platform();
        p.displayService = displays;
        p.captureService = capture;
        p.permissionService = permissions;
        p.pointerService = pointer;
        p.processService = process;
        p.workspaceService = workspace;
    }

    ManualScheduler& clock() { return env.scheduler(); }

    // Every listed screen becomes shareable, with this application, Keynote
    // and one other application running.
    void shareEverything()
    {
        capture->content.displays.clear();
        for (const auto& screen : displays->screens())
            capture->content.displays.push_back(FakeCaptureService::display(*screen.displayID, screen.frame));
        capture->content.applications = {{QStringLiteral("com.local.quorvia"), QStringLiteral("Quorvia"), process->pid},
                                         {QStringLiteral("com.apple.Keynote"), QStringLiteral("Keynote"), 77},
                                         {QStringLiteral("org.example.Editor"), QStringLiteral("Editor"), 88}};
    }

    TestPlatform env;
    FakeVideoSurfaces surfaces;
    std::shared_ptr<FakeDisplayService> displays = std::make_shared<FakeDisplayService>();
    std::shared_ptr<FakeCaptureService> capture = std::make_shared<FakeCaptureService>();
    std::shared_ptr<FakePermissionService> permissions = std::make_shared<FakePermissionService>();
    std::shared_ptr<FakePointerService> pointer = std::make_shared<FakePointerService>();
    std::shared_ptr<FakeProcessService> process = std::make_shared<FakeProcessService>();
    std::shared_ptr<FakeWorkspace> workspace = std::make_shared<FakeWorkspace>();
};

} // namespace quorvia::test
