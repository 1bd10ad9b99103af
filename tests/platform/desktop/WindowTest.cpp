#include "platform/core/NotificationCenter.h"
#include "platform/desktop/Panel.h"
#include "platform/desktop/Popover.h"
#include "platform/desktop/ScreenSpace.h"
#include "platform/desktop/Window.h"
#include "support/EventWait.h"
#include "support/FakeDisplayService.h"
#include "support/TestPlatform.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QWindow>

#include <gtest/gtest.h>

#include <memory>

using namespace quorvia::platform;

TEST(Window, FrameKeepsFractionsAndAnnouncesOnlyRealChanges)
{
    Window window(Rect(10, 20, 300, 200));
    int moves = 0;
    int resizes = 0;
    int posted = 0;
    window.onDidMove = [&] { ++moves; };
    window.onDidResize = [&] { ++resizes; };
    auto obs = NotificationCenter::defaultCenter().observe(Window::didMoveNotification, &window,
                                                           [&](const Notification&) { ++posted; });

    window.setFrame(Rect(10.25, 20, 300, 200));
    EXPECT_EQ(window.frame(), Rect(10.25, 20, 300, 200));
    EXPECT_EQ(moves, 1);
    EXPECT_EQ(resizes, 0);
    EXPECT_EQ(posted, 1);

    window.setFrame(Rect(10.25, 20, 300, 200));
    EXPECT_EQ(moves, 1);

    window.orderFront();
    QApplication::processEvents();
    // Showing replays Qt's pending geometry events; the frame they match is kept.
    EXPECT_EQ(window.frame(), Rect(10.25, 20, 300, 200));
    EXPECT_EQ(moves, 1);
    EXPECT_EQ(resizes, 0);
}

TEST(Window, MoveFromOutsideIsReadBackInYUpSpace)
{
    Window window(Rect(0, 0, 200, 100));
    window.orderFront();
    QApplication::processEvents();
    int moves = 0;
    window.onDidMove = [&] { ++moves; };

    // The frame is the whole window: the inner one lies within the decorations.
    const QRect qt = toQtGlobal(Rect(50, 60, 200, 100)).marginsRemoved(window.decorationMargins());
    window.setGeometry(qt); // as the window manager would
    QApplication::processEvents();
    EXPECT_EQ(window.frame(), Rect(50, 60, 200, 100));
    EXPECT_EQ(moves, 1);
}

TEST(Window, LevelKeyEligibilityAndEveryDesktopMapOntoTheNativeWindow)
{
    quorvia::test::TestPlatform env;
    Window window(Rect(0, 0, 100, 100));
    // Asked for before the native window exists, every desktop is asked for at the show.
    window.setCollectionBehavior(CollectionBehavior::canJoinAllSpaces);
    window.orderFront();
    window.setCollectionBehavior(CollectionBehavior::none);
    EXPECT_EQ(env.windowSystem().stickyRequests, (std::vector<bool>{true, false}));
    window.setLevel(Window::floatingLevel);
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::X11BypassWindowManagerHint));
    EXPECT_TRUE(window.isVisible()) << "a flag change must not hide a visible window";

    window.setLevel(Window::overlayLevel);
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::X11BypassWindowManagerHint));
    window.setLevel(Window::normalLevel);
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));

    window.setIgnoresMouseEvents(true);
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowTransparentForInput));
    window.setCanBecomeKey(false);
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_TRUE(window.testAttribute(Qt::WA_ShowWithoutActivating));
}

namespace {
class NeverKeyPanel final : public Panel {
public:
    bool canBecomeKey() const override { return false; }
};
} // namespace

TEST(Panel, OverriddenKeyEligibilityAppliesWhenShown)
{
    NeverKeyPanel panel;
    panel.orderFrontRegardless();
    EXPECT_TRUE(panel.windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_EQ(panel.windowType(), Qt::Tool);
    panel.setFloatingPanel(true);
    EXPECT_EQ(panel.level(), Window::floatingLevel);
}

TEST(Window, OrderOutCloseAndTheLiveWindowList)
{
    auto window = std::make_unique<Window>(Rect(0, 0, 100, 100));
    Window* raw = window.get();
    const auto all = Window::allWindows();
    EXPECT_NE(std::find(all.begin(), all.end(), raw), all.end());

    int willClose = 0;
    window->onWillClose = [&] { ++willClose; };
    window->orderFront();
    EXPECT_TRUE(window->isVisible());
    window->close();
    EXPECT_EQ(willClose, 1);
    EXPECT_FALSE(window->isVisible());

    window->orderFront();
    window->orderOut();
    EXPECT_FALSE(window->isVisible());
    window->orderOut();

    window.reset();
    const auto after = Window::allWindows();
    EXPECT_EQ(std::find(after.begin(), after.end(), raw), after.end());
}

// A window opened with the keyboard came from where the speaker last clicked,
// not from where the keyboard was; closed once another program has taken the
// keyboard, before the server ever reported its own ask, it takes nothing back,
// nor does a dialog ending then; one ending later leaves the speaker in its window.
TEST(Window, TheKeyboardGoesBackWhereTheSpeakerActedAndNeverFromAnotherProgram)
{
    quorvia::test::TestPlatform env;
    Window island(Rect(0, 0, 200, 100)), management(Rect(300, 0, 200, 100)), editor(Rect(0, 300, 200, 100));
    island.orderFront();
    management.makeKeyAndOrderFront();
    QApplication::processEvents();
    env.windowSystem().focus = KeyboardFocus{KeyboardFocus::Holder::ours, &management};
    QMouseEvent click(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton, {});
    QCoreApplication::sendEvent(island.windowHandle(), &click);
    editor.makeKeyAndOrderFront();
    EXPECT_EQ(editor.openedFrom(), &island);

    env.windowSystem().focus = KeyboardFocus{KeyboardFocus::Holder::otherProgram};
    editor.orderOut();
    Window::handKeyboardBack(&island);
    quorvia::test::runEventsFor(100);
    EXPECT_NE(QGuiApplication::focusWindow(), island.windowHandle()) << "taken from another program";
    env.windowSystem().focus = KeyboardFocus{KeyboardFocus::Holder::ours, &management};
    Window::handKeyboardBack(&island);
    management.windowHandle()->requestActivate(); // the window manager's choice, not the speaker's
    quorvia::test::runEventsFor(100);
    EXPECT_EQ(Window::speakersWindow(), &island);
    // Nothing for a window that is gone, hidden or may not have the keyboard.
    Window bar(Rect(0, 600, 200, 20));
    bar.setCanBecomeKey(false);
    bar.orderFront();
    for (QWidget* owner : std::initializer_list<QWidget*>{nullptr, &editor, &bar}) {
        Window::handKeyboardBack(owner);
        EXPECT_EQ(Window::speakersWindow(), &island) << (owner ? owner->geometry().y() : -1);
    }
}

TEST(Popover, PrefersItsEdgeAndFlipsWhenThereIsNoRoom)
{
    const QRect screen(0, 0, 1440, 900);
    const QSize size(320, 160);
    // Above the anchor when there is room.
    EXPECT_EQ(Popover::placement(QRect(600, 400, 80, 24), size, screen, Popover::Edge::maxY),
              QRect(480, 400 - 6 - 160, 320, 160));
    // Near the top it opens below instead.
    EXPECT_EQ(Popover::placement(QRect(600, 10, 80, 24), size, screen, Popover::Edge::maxY).top(), 10 + 24 + 6);
    // Kept inside the screen sideways.
    EXPECT_EQ(Popover::placement(QRect(1400, 400, 40, 24), size, screen, Popover::Edge::maxY).right(), 1439);
    EXPECT_EQ(Popover::placement(QRect(0, 400, 40, 24), size, screen, Popover::Edge::maxY).left(), 0);
}

// Qt's screens lag a rearrangement; the display service's picture places windows.
TEST(ScreenSpace, WindowsArePlacedByTheDisplayServicesPictureWhileQtsScreensLag)
{
    quorvia::test::TestPlatform env;
    auto displays = std::make_shared<quorvia::test::FakeDisplayService>();
    env.platform().displayService = displays;
    // The projector above the laptop, whose bottom-left corner is 1800 down the root.
    displays->setScreens({quorvia::test::FakeDisplayService::builtIn()});
    displays->origin = Point{0, 1800};
    Window window(Rect(400, 800, 640, 60));
    auto* anchor = new QWidget;
    window.setContentView(anchor);
    window.orderFront();
    QApplication::processEvents();
    EXPECT_EQ(window.frameGeometry().topLeft(), QPoint(400, 940)) << "on the laptop, whatever Qt's primary screen says";
    Popover popover(new QLabel(QStringLiteral("设置")));
    popover.show(anchor, Popover::Edge::minY);
    EXPECT_TRUE(displays->screens()[0].visibleFrame.contains(popover.frame())) << "above it, on the projector";
}

TEST(Popover, IsLeftOutOfCaptureAndReportsClosing)
{
    Window anchorWindow(Rect(100, 100, 300, 200));
    auto* anchor = new QWidget;
    anchorWindow.setContentView(anchor);
    anchorWindow.orderFront();
    auto* content = new QWidget;
    content->setFixedSize(320, 160);
    Popover popover(content);
    EXPECT_EQ(popover.sharingType(), SharingType::none);
    EXPECT_EQ(popover.windowType(), Qt::Popup);
    int closed = 0;
    popover.onClose = [&] { ++closed; };
    popover.show(anchor);
    EXPECT_TRUE(popover.isShown());
    EXPECT_EQ(popover.frame().size, (Size{320, 160}));
    popover.dismiss();
    EXPECT_FALSE(popover.isShown());
    EXPECT_EQ(closed, 1);
}

TEST(Window, FirstPaintIsReportedOnceAfterThePictureIsDrawn)
{
    struct Painted : QWidget {
        void paintEvent(QPaintEvent*) override { ++paints; }
        int paints = 0;
    };
    Window window(Rect(0, 0, 120, 80));
    auto* content = new Painted;
    window.setContentView(content);
    std::vector<int> paintsWhenReported;
    window.onFirstPaint = [&] { paintsWhenReported.push_back(content->paints); };

    window.orderFront();
    EXPECT_TRUE(paintsWhenReported.empty()) << "reported before any picture";
    quorvia::test::waitUntil([&] { return !paintsWhenReported.empty(); });
    ASSERT_EQ(paintsWhenReported.size(), 1u);
    EXPECT_GE(paintsWhenReported[0], 1);

    // Shown again, or exposed again, it says nothing more.
    window.orderOut();
    window.orderFront();
    content->update();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(paintsWhenReported.size(), 1u);
}

TEST(WindowShape, WithoutACompositorTheWindowIsCutToItsShapeAtEverySize)
{
    quorvia::test::TestPlatform env;
    Window bubble(Rect(100, 100, 56, 56), WindowStyle::borderless);
    bubble.setAttribute(Qt::WA_TranslucentBackground);
    bubble.setShape({WindowShape::Kind::ellipse});
    bubble.setHasShadow(true);
    bubble.orderFront();
    EXPECT_FALSE(bubble.drawsShadow());
    EXPECT_EQ(bubble.geometry().size(), QSize(56, 56));
    // The corners are not the window's, so no black square shows around the circle.
    EXPECT_TRUE(bubble.mask().contains(QPoint(28, 28)));
    EXPECT_TRUE(bubble.mask().contains(QPoint(28, 1)));
    EXPECT_FALSE(bubble.mask().contains(QPoint(1, 1)));
    EXPECT_FALSE(bubble.mask().contains(QPoint(54, 54)));

    Window island(Rect(0, 0, 640, 520), WindowStyle::borderless);
    island.setShape({WindowShape::Kind::roundedRectangle, 24});
    island.orderFront();
    EXPECT_FALSE(island.mask().contains(QPoint(1, 1)));
    EXPECT_TRUE(island.mask().contains(QPoint(24, 1)));
    EXPECT_TRUE(island.mask().contains(QPoint(320, 260)));
    // A resize takes the cut along.
    island.setFrame(Rect(0, 0, 800, 600));
    EXPECT_TRUE(island.mask().contains(QPoint(700, 300)));
    EXPECT_FALSE(island.mask().contains(QPoint(798, 598)));
    EXPECT_TRUE(island.mask().contains(QPoint(780, 598)));

    // Back to a plain rectangle, nothing is cut.
    island.setShape({});
    EXPECT_TRUE(island.mask().isEmpty());

    // A compositing manager starts: the cut gives way to the shadow while the window stays up.
    env.windowSystem().setComposited(true);
    EXPECT_TRUE(bubble.drawsShadow());
    EXPECT_TRUE(bubble.mask().isEmpty());
}

TEST(WindowShape, WithACompositorTheShadowLiesOutsideTheFrameWhichStaysTheShapes)
{
    quorvia::test::TestPlatform env;
    env.windowSystem().setComposited(true);
    Window panel(Rect(300, 300, 248, 58), WindowStyle::borderless);
    panel.setAttribute(Qt::WA_TranslucentBackground);
    auto* content = new QWidget;
    panel.setContentView(content);
    panel.setShape({WindowShape::Kind::roundedRectangle, 20});
    panel.orderFront();
    QApplication::processEvents();
    EXPECT_FALSE(panel.drawsShadow());
    EXPECT_TRUE(panel.mask().isEmpty()) << "translucency gives the shape; nothing is cut";
    const QRect bare = toQtGlobal(panel.frame());
    EXPECT_EQ(panel.geometry(), bare);

    panel.setHasShadow(true);
    QApplication::processEvents();
    EXPECT_TRUE(panel.drawsShadow());
    EXPECT_EQ(panel.frame(), Rect(300, 300, 248, 58));
    EXPECT_EQ(panel.geometry(), bare.marginsAdded(Window::shadowExtent));
    EXPECT_EQ(content->geometry(), QRect(QPoint(Window::shadowExtent.left(), Window::shadowExtent.top()), bare.size()));
    // The shadow darkens below the shape and fades out at the margin's edge.
    const QImage picture = panel.grab().toImage();
    const int midX = picture.width() / 2;
    EXPECT_GT(qAlpha(picture.pixel(midX, picture.height() - Window::shadowExtent.bottom() + 4)), 0);
    EXPECT_EQ(qAlpha(picture.pixel(0, 0)), 0);

    // Moves keep the frame the truth, margins aside.
    panel.setFrameOrigin({310, 290});
    EXPECT_EQ(panel.geometry(), toQtGlobal(panel.frame()).marginsAdded(Window::shadowExtent));
    panel.setHasShadow(false);
    EXPECT_EQ(panel.geometry(), toQtGlobal(panel.frame()));
    EXPECT_EQ(panel.frame(), Rect(310, 290, 248, 58));
}
