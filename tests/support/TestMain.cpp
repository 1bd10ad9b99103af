#include "support/EventWait.h"
#include "support/MountLeakCheck.h"
#include "support/TwoOutputXServer.h"
#include "support/XServer.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>

// Sanitizer builds stop at the first undefined behaviour, with its stack.
extern "C" const char* __ubsan_default_options() { return "print_stacktrace=1:halt_on_error=1"; }

// Widget tests need an application object; the offscreen platform keeps them
// away from any real display. Tests of the X11 backends ask for xcb and get
// the private test X server, never the user's desktop.
int main(int argc, char** argv)
{
    quorvia::test::MountLeakCheck::isolate();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new quorvia::test::MountLeakCheck);
    // ctest's limit for this test (tests/CMakeLists.txt), which its waits keep within.
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]).starts_with("--timeout=")) {
            quorvia::test::waitsEnd = QDeadlineTimer(std::atol(argv[i] + 10) * 750);
            std::copy(argv + i + 1, argv + argc + 1, argv + i);
            --argc, --i;
        }
    if (qgetenv("QT_QPA_PLATFORM") == "xcb") {
        if (GTEST_FLAG_GET(list_tests)) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        } else {
            // Tests under an xorg/ folder build into <folder>_xorg_tests.
            const bool twoOutputs = std::string_view(argv[0]).ends_with("_xorg_tests");
            const QString display = twoOutputs ? quorvia::test::TwoOutputXServer::display()
                                               : quorvia::test::XServer::display();
            if (display.isEmpty()) {
                std::fputs(twoOutputs ? "could not start the two-output test X server (Xorg, dummy driver)\n"
                                      : "could not start the test X server (Xvfb)\n",
                           stderr);
                return 1;
            }
            qputenv("DISPLAY", display.toLocal8Bit());
        }
    }
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
