#include "platform/linux/capture/LinuxCaptureService.h"
#include "support/QtPrinting.h"

#include <QByteArray>
#include <QList>

#include <gtest/gtest.h>

using quorvia::platform::native::LinuxCaptureService;

// A stand-in for the X server's extension list.
TEST(LinuxCaptureServiceServer, XWaylandCannotSeeTheDesktopsNativeWindows)
{
    QList<QByteArray> asked;
    auto server = [&asked](QList<QByteArray> extensions) {
        return [&asked, extensions](const char* name) {
            asked << QByteArray(name);
            return extensions.contains(QByteArray(name));
        };
    };
    EXPECT_FALSE(LinuxCaptureService::seesEveryWindow(server({"RANDR", "XWAYLAND", "MIT-SHM"})));
    EXPECT_EQ(asked, QList<QByteArray>{"XWAYLAND"});
    EXPECT_TRUE(LinuxCaptureService::seesEveryWindow(server({"RANDR", "MIT-SHM", "XFIXES"})));
    EXPECT_TRUE(LinuxCaptureService::seesEveryWindow(server({})));
}
