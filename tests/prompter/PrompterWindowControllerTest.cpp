#include "PrompterWindowFixture.h"

#include "prompter/PrompterBubbleTracker.h"
#include "prompter/PrompterBubbleView.h"
#include "prompter/TimelineStripView.h"

#include "platform/desktop/ScreenSpace.h"
#include "look/IslandButton.h"
#include "privacy/PrivateWindowRegistry.h"
#include "support/QtPrinting.h"
#include "support/Snapshot.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>

using namespace quorvia;
using platform::Point;
using platform::Rect;

namespace {

class PrompterWindowTest : public test::PrompterWindowFixture {};

} // namespace

TEST(PrompterBubbleTrackerTest, ClickOrDragByTheTwoPointThreshold)
{
    const Point start{300, 300};
    const Point origin{40, 50};
    PrompterBubbleTracker shortMove(start, origin);
    EXPECT_FALSE(shortMove.moved({301.9, 300}));
    EXPECT_TRUE(shortMove.releasedAsClick());

    PrompterBubbleTracker exact(start, origin);
    EXPECT_EQ(exact.moved({300, 302}), (Point{40, 52}));
    EXPECT_FALSE(exact.releasedAsClick());

    PrompterBubbleTracker diagonal(start, origin);
    EXPECT_EQ(diagonal.moved({301.5, 301.5}), (Point{41.5, 51.5}));

    // Out and back is still a drag, and it ends where it began.
    PrompterBubbleTracker outAndBack(start, origin);
    EXPECT_TRUE(outAndBack.moved({305, 300}));
    EXPECT_EQ(outAndBack.moved({300, 300}), origin);
    EXPECT_FALSE(outAndBack.releasedAsClick());
}

TEST_F(PrompterWindowTest, BuiltHiddenAtThePreferencesLevelAndOpacity)
{
    preferences.setOpacity(0.6);
    preferences.setAlwaysOnTop(false);
    build();
    const auto windows = controller->privateWindows();
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(windows[0], &controller->window());
    EXPECT_EQ(windows[1], &controller->bubblePanel());
    for (auto* window : windows) {
        EXPECT_FALSE(window->isVisible());
        EXPECT_EQ(window->sharingType(), platform::SharingType::none);
        EXPECT_EQ(window->level(), platform::Window::normalLevel);
        EXPECT_DOUBLE_EQ(window->alphaValue(), 0.6);
    }
    EXPECT_TRUE(controller->window().canBecomeKey());
    EXPECT_FALSE(controller->window().canBecomeMain());
    EXPECT_FALSE(controller->bubblePanel().canBecomeKey());
    EXPECT_FALSE(controller->bubblePanel().canBecomeMain());
    // First size 620x460 in the lower right of the built-in visible frame.
    EXPECT_EQ(controller->window().frame(), Rect(1440 - 620 - 24, 42, 620, 460));
    EXPECT_EQ(controller->window().minimumSize(), QSize(380, 280));
    EXPECT_EQ(controller->bubblePanel().frame().size, (platform::Size{56, 56}));

    PrivateWindowRegistry registry;
    for (auto* window : windows)
        registry.registerWindow(window);
    EXPECT_EQ(registry.registeredWindows(), windows);

    preferences.setAlwaysOnTop(true);
    build();
    EXPECT_EQ(controller->window().level(), platform::Window::floatingLevel);
    EXPECT_EQ(controller->bubblePanel().level(), platform::Window::floatingLevel);
}

TEST_F(PrompterWindowTest, LabelsShowTheProjectAndPosition)
{
    script->setPromptMode(PromptMode::wordFollow);
    build();
    script->setIndex(1, PresentationEventSource::manualPrompt);
    const QString name = script->activeProjectName();
    EXPECT_EQ(controller->privateBadge().text(), u"PRIVATE · "_qs + name + u" · 块 2 / 3 · 2"_qs);
    EXPECT_EQ(controller->window().title(), u"私密提词窗口 · "_qs + name);
    EXPECT_EQ(controller->toggleScrollButton().text(), u"开始语音"_qs);
    EXPECT_EQ(controller->speedLabel().text(), u"语音：待命"_qs);

    // Cards select and move blocks of the script.
    controller->timelineStrip().onSelect(2);
    EXPECT_EQ(script->currentIndex(), 2);
    controller->timelineStrip().onMove(0, 1);
    EXPECT_EQ(script->timelineBlocks()[1].label, "1");
}

TEST_F(PrompterWindowTest, RenamingTheProjectRenamesTheTitleAndBadgeAtOnce)
{
    build();
    script->setIndex(1, PresentationEventSource::manualPrompt);
    script->renameActiveProject(u"年会主题演讲"_qs);
    EXPECT_EQ(controller->window().title(), u"私密提词窗口 · 年会主题演讲"_qs);
    EXPECT_EQ(controller->privateBadge().text(), u"PRIVATE · 年会主题演讲 · 块 2 / 3 · 2"_qs);
}

TEST_F(PrompterWindowTest, OnlyTheWatchedObjectsRefreshTheControls)
{
    script->setPromptMode(PromptMode::wordFollow);
    build();
    speech.setSilently(PrompterSpeechStatus::Kind::listening, u"语音：逐字跟读中"_qs);
    test::FakeSpeechAutomation other;
    platform::NotificationCenter::defaultCenter().post(NotificationName::speechAutomationStatusChanged, &other);
    EXPECT_EQ(controller->speedLabel().text(), u"语音：待命"_qs);
    ScriptScrollView otherView;
    platform::NotificationCenter::defaultCenter().post(ScriptScrollView::fontSizeChangedNotification, &otherView);
    platform::NotificationCenter::defaultCenter().post(AutoScrollController::stateChangedNotification, &otherView);
    EXPECT_EQ(controller->speedLabel().text(), u"语音：待命"_qs);

    platform::NotificationCenter::defaultCenter().post(NotificationName::speechAutomationStatusChanged, &speech);
    EXPECT_EQ(controller->speedLabel().text(), u"语音：逐字跟读中"_qs);
    EXPECT_EQ(controller->toggleScrollButton().text(), u"停止语音"_qs);
}

TEST_F(PrompterWindowTest, BubbleViewTellsAClickFromADrag)
{
    build();
    auto& panel = controller->bubblePanel();
    auto& view = controller->bubbleView();
    panel.setFrame(Rect(500, 500, 56, 56));
    std::vector<Point> drags;
    int activations = 0;
    view.onDrag = [&](Point p) { drags.push_back(p); };
    view.onActivate = [&] { ++activations; };

    auto send = [&](QEvent::Type type, Point global) {
        const QPointF qt = platform::toQtGlobal(global);
        QMouseEvent event(type, QPointF(20, 20), qt, Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&view, &event);
    };
    send(QEvent::MouseButtonPress, {520, 520});
    send(QEvent::MouseMove, {521, 520});
    send(QEvent::MouseButtonRelease, {521, 520});
    EXPECT_EQ(activations, 1);
    EXPECT_TRUE(drags.empty());

    send(QEvent::MouseButtonPress, {520, 520});
    send(QEvent::MouseMove, {530, 510});
    send(QEvent::MouseButtonRelease, {530, 510});
    EXPECT_EQ(activations, 1);
    ASSERT_EQ(drags.size(), 1u);
    EXPECT_EQ(drags[0], (Point{510, 490}));
    EXPECT_EQ(view.cursor().shape(), Qt::OpenHandCursor);
}

TEST_F(PrompterWindowTest, PicturesOfTheWindowAndTheBubble)
{
    build();
    controller->setAutomationAvailable(true);
    host->setPlacement(PrompterHost::Placement::window);
    controller->takeOverScriptView();
    env.scheduler().runPending();
    speech.set(PrompterSpeechStatus::Kind::ready, u"语音：待命"_qs);
    script->setSpeechProgress(30, 0, false);
    EXPECT_TRUE(controller->window().isVisible());
    EXPECT_EQ(host->scriptView().parentWidget(), &controller->scriptContainer());
    EXPECT_GT(host->scriptView().height(), 100);
    // The two button rows span the same width with equal buttons.
    EXPECT_EQ(controller->toggleScrollButton().width(), controller->fasterButton().width());
    EXPECT_NEAR(controller->smallerFontButton().width(), controller->syncToggleButton().width(), 1);
    test::keepSnapshot(controller->window().grab(), QStringLiteral("prompter-window"));

    controller->bubblePanel().setFrame(Rect(500, 500, 56, 56));
    controller->bubblePanel().orderFrontRegardless();
    test::keepSnapshot(controller->bubblePanel().grab(), QStringLiteral("prompter-bubble"));
}
