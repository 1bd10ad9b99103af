#include "app/CoordinatorHarness.h"

#include <QLabel>

#include "island/IslandWindow.h"
#include "prompter/PrompterPanel.h"
#include "platform/linux/displays/RandrDisplayService.h"
#include "privacy/DisplayTopology.h"
#include "support/EventWait.h"
#include "support/QtPrinting.h"
#include "support/TwoOutputXServer.h"

#include <QCoreApplication>
#include <QGuiApplication>

using namespace quorvia;
using namespace quorvia::test;
using State = PresentationSafetyState;

namespace {

// The whole application over fakes, but with the real display service on an
// X server with a laptop screen and a projector, changed with xrandr.
class CoordinatorTwoOutputTest : public CoordinatorHarness {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(display.isEmpty());
        ASSERT_TRUE(TwoOutputXServer::restoreLayout(display));
        randr = std::make_shared<platform::native::RandrDisplayService>(display.toLatin1());
        ASSERT_TRUE(randr->isAvailable());
        env.platform().displayService = randr;
        ASSERT_TRUE(letQtCatchUp());
    }

    void TearDown() override
    {
        TwoOutputXServer::restoreLayout(display);
        letQtCatchUp();
    }

    bool xrandr(const QStringList& arguments) { return TwoOutputXServer::xrandr(display, arguments); }

    // Lets Qt read the server's changes until its screen list matches the
    // server's pictures, so that a built-in screen is named again.
    bool letQtCatchUp()
    {
        return quorvia::test::waitUntil([] { return DisplayTopology::builtInScreen().has_value(); });
    }

    // Every picture of the server shareable, then live on the projector.
    void goLiveOnTheProjector()
    {
        shareScreens(randr->screens());
        carryOutputLive();
    }

    platform::Window& islandWindow() { return *app().island()->window(); }

    const QString display = TwoOutputXServer::display();
    std::shared_ptr<platform::native::RandrDisplayService> randr;
};

TEST_F(CoordinatorTwoOutputTest, AModeForcedOnAThirdOutputCopyingTheLaptopWhileLiveRaisesTheShield)
{
    buildAndStart();
    ASSERT_TRUE(islandWindow().isVisible());
    goLiveOnTheProjector();

    // The usual cure for a projector that is not recognised.
    ASSERT_TRUE(xrandr({QStringLiteral("--addmode"), QStringLiteral("DUMMY2"), QStringLiteral("1920x1080")}));
    ASSERT_TRUE(xrandr({QStringLiteral("--output"), QStringLiteral("DUMMY2"), QStringLiteral("--mode"),
                        QStringLiteral("1920x1080"), QStringLiteral("--same-as"),
                        QString::fromLatin1(TwoOutputXServer::laptopOutput)}));
    letQtCatchUp();
    runFor(1.0);
    EXPECT_TRUE(app().isShieldActive());
    EXPECT_FALSE(islandWindow().isVisible());
    EXPECT_TRUE(app().safetyOverlay().isShown());
    EXPECT_NE(app().safetyState(), State::live());
}

// With the output off and the projector copying the laptop, the emergency
// key's first press hides the mask too; every press after it tries the
// restore and meets the mask again, the windows still hidden.
TEST_F(CoordinatorTwoOutputTest, UnderMirroringEveryPressAfterTheFirstMeetsTheMaskAgain)
{
    buildAndStart();
    ASSERT_TRUE(xrandr({QStringLiteral("--output"), QString::fromLatin1(TwoOutputXServer::projectorOutput),
                        QStringLiteral("--same-as"), QString::fromLatin1(TwoOutputXServer::laptopOutput)}));
    letQtCatchUp();
    runFor(1.0);
    ASSERT_TRUE(app().safetyOverlay().isShown());
    pressEmergencyKey();
    ASSERT_FALSE(app().safetyOverlay().isShown());
    for (int press = 2; press <= 4; ++press) {
        pressEmergencyKey();
        EXPECT_TRUE(app().safetyOverlay().isShown()) << "press " << press;
        EXPECT_EQ(app().safetyOverlay().reasonLabel().text(), QStringLiteral("系统镜像仍在运行；私密窗口保持隐藏"))
            << "press " << press;
        EXPECT_TRUE(app().isEmergencyLocalHidden()) << "press " << press;
        EXPECT_FALSE(islandWindow().isVisible()) << "press " << press;
    }
}

TEST_F(CoordinatorTwoOutputTest, WhileQtAndTheServerDisagreeTheWindowsStayHiddenAndReturnOnceTheyAgree)
{
    buildAndStart();
    ASSERT_TRUE(islandWindow().isVisible());

    // A third picture lights up; the server tells at once, Qt once it reads its events.
    ASSERT_TRUE(xrandr({QStringLiteral("--addmode"), QStringLiteral("DUMMY2"), QStringLiteral("1024x768")}));
    ASSERT_TRUE(xrandr({QStringLiteral("--output"), QStringLiteral("DUMMY2"), QStringLiteral("--mode"),
                        QStringLiteral("1024x768"), QStringLiteral("--right-of"),
                        QString::fromLatin1(TwoOutputXServer::projectorOutput)}));
    ASSERT_FALSE(DisplayTopology::builtInScreen());
    app().monitorTopology();
    EXPECT_FALSE(islandWindow().isVisible());
    EXPECT_TRUE(app().isAwaitingBuiltInScreen());
    EXPECT_TRUE(app().safetyOverlay().isShown());
    EXPECT_EQ(app().safetyOverlay().reasonLabel().text(), QStringLiteral("显示器列表尚未一致；私密窗口已先隐藏"));

    ASSERT_TRUE(letQtCatchUp());
    runFor(1.0);
    EXPECT_TRUE(islandWindow().isVisible());
    EXPECT_FALSE(app().isAwaitingBuiltInScreen());
    EXPECT_FALSE(app().safetyOverlay().isShown());

    // The output switched off again: they disagree once more, then agree.
    ASSERT_TRUE(xrandr({QStringLiteral("--output"), QStringLiteral("DUMMY2"), QStringLiteral("--off")}));
    app().monitorTopology();
    EXPECT_FALSE(islandWindow().isVisible());
    ASSERT_TRUE(letQtCatchUp());
    runFor(1.0);
    EXPECT_TRUE(islandWindow().isVisible());
}

TEST_F(CoordinatorTwoOutputTest, UnpluggingTheProjectorSendsADetachedPrompterHomeForGood)
{
    buildAndStart();
    app().togglePrompterPlacement();
    PrompterWindowController& prompter = *app().prompter();
    ASSERT_TRUE(prompter.window().isVisible());

    ASSERT_TRUE(xrandr({QStringLiteral("--output"), QString::fromLatin1(TwoOutputXServer::projectorOutput),
                        QStringLiteral("--off")}));
    // The watch ticks before Qt has read the change.
    app().monitorTopology();
    ASSERT_TRUE(letQtCatchUp());
    runFor(1.0);
    letQtCatchUp();
    runFor(1.0);
    EXPECT_EQ(app().host().placement(), PrompterHost::Placement::island);
    EXPECT_TRUE(islandWindow().isVisible());
    EXPECT_FALSE(prompter.window().isVisible());

    ASSERT_TRUE(TwoOutputXServer::restoreLayout(display));
    app().monitorTopology();
    ASSERT_TRUE(letQtCatchUp());
    runFor(1.0);
    letQtCatchUp();
    runFor(1.0);
    EXPECT_TRUE(islandWindow().isVisible());
    EXPECT_FALSE(prompter.window().isVisible());
    EXPECT_FALSE(prompter.bubblePanel().isVisible());
}

} // namespace
