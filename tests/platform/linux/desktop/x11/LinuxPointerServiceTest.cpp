#include "platform/desktop/ScreenSpace.h"
#include "platform/linux/desktop/LinuxPointerService.h"
#include "support/EventWait.h"
#include "support/QtPrinting.h"
#include "support/TestPlatform.h"
#include "support/XServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>

#include <gtest/gtest.h>

using namespace quorvia;
using platform::native::LinuxPointerService;

namespace {

void xdotool(const QStringList& arguments)
{
    QProcess xdotool;
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), test::XServer::display());
    xdotool.setProcessEnvironment(environment);
    xdotool.start(QStringLiteral("xdotool"), arguments);
    ASSERT_TRUE(xdotool.waitForFinished(60000));
    ASSERT_EQ(xdotool.exitCode(), 0);
}

// Puts the pointer somewhere as a program does (a warp, of which the server says nothing).
void warpPointer(QPoint to)
{
    xdotool({QStringLiteral("mousemove"), QString::number(to.x()), QString::number(to.y())});
}

// Moves the pointer as a person's mouse does, through an input device.
void movePointerBy(QPoint by)
{
    xdotool({QStringLiteral("mousemove_relative"), QStringLiteral("--"), QString::number(by.x()), QString::number(by.y())});
}

platform::Point at(QPoint qt) { return platform::fromQtGlobal(QPointF(qt)); }

// The pointer is asked for only when the server says it moved, or for a
// check now and then; each answer is where the pointer is.
TEST(LinuxPointerServiceTest, AsksWhereThePointerIsOnlyWhenItMovedOrForTheOccasionalCheck)
{
    test::TestPlatform env;
    LinuxPointerService pointer;
    ASSERT_NO_FATAL_FAILURE(warpPointer({300, 200}));
    pointer.mouseLocation();
    env.scheduler().advance(LinuxPointerService::recheckInterval);
    ASSERT_EQ(pointer.mouseLocation(), at({300, 200}));

    // Still: the ticks of a second ask nothing, whatever the cursor's picture.
    const auto asked = pointer.positionQueries();
    for (int tick = 0; tick < 30; ++tick) {
        EXPECT_EQ(pointer.mouseLocation(), at({300, 200}));
        pointer.currentCursor();
        QCoreApplication::processEvents();
        env.scheduler().advance(LinuxPointerService::recheckInterval / 40);
    }
    EXPECT_EQ(pointer.positionQueries(), asked);
    // A pointer moved without a word from the server is found at the next check.
    ASSERT_NO_FATAL_FAILURE(warpPointer({640, 480}));
    env.scheduler().advance(LinuxPointerService::recheckInterval);
    EXPECT_EQ(pointer.mouseLocation(), at({640, 480}));
    EXPECT_EQ(pointer.positionQueries(), asked + 1);

    // A mouse's moves are told: each is seen without waiting for the check.
    QPoint to(640, 480);
    for (const QPoint by : {QPoint(60, 20), QPoint(-300, 100), QPoint(5, -7)}) {
        ASSERT_NO_FATAL_FAILURE(movePointerBy(by));
        to += by;
        const auto before = pointer.positionQueries();
        EXPECT_TRUE(test::waitUntil([&] { return pointer.mouseLocation() == at(to); }));
        EXPECT_GE(pointer.positionQueries(), before + 1);
        const auto settled = pointer.positionQueries();
        pointer.mouseLocation();
        pointer.currentCursor();
        EXPECT_EQ(pointer.positionQueries(), settled) << "asked again for a pointer that did not move";
    }
}

// On a server without the cursor extension the cursor is our arrow, and the
// connection still tells of the pointer's moves.
TEST(LinuxPointerServiceTest, WithoutTheCursorExtensionTheArrowIsShownAndMovesAreStillTold)
{
    test::XServer server({"-extension", "XFIXES"});
    ASSERT_FALSE(server.name().isEmpty());
    test::TestPlatform env;
    LinuxPointerService pointer;
    const QByteArray display = qgetenv("DISPLAY");
    qputenv("DISPLAY", server.name().toLocal8Bit());
    pointer.mouseLocation();
    qputenv("DISPLAY", display);
    const auto asked = pointer.positionQueries();
    pointer.mouseLocation();
    EXPECT_EQ(pointer.positionQueries(), asked);
    EXPECT_EQ(pointer.currentCursor().image, pointer.arrowCursor().image);
}

} // namespace
