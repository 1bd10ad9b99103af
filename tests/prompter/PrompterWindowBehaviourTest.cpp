#include "PrompterWindowFixture.h"

#include "prompter/PrompterBubbleView.h"

#include "platform/desktop/Popover.h"
#include "look/IslandButton.h"
#include "look/WindowSettingsViewController.h"

#include "support/EventWait.h"
#include "support/QtPrinting.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QWheelEvent>

#include <cmath>

using namespace quorvia;
using platform::Rect;
using Kind = PrompterSpeechStatus::Kind;

namespace {

class PrompterWindowBehaviourTest : public test::PrompterWindowFixture {
protected:
    void open()
    {
        build();
        controller->update(PresentationSafetyState::live());
        controller->setAutomationAvailable(true);
        host->setPlacement(PrompterHost::Placement::window);
        controller->takeOverScriptView();
        env.scheduler().runPending();
    }

    platform::Window& window() { return controller->window(); }
    platform::Window& bubble() { return controller->bubblePanel(); }
};

} // namespace

TEST_F(PrompterWindowBehaviourTest, SpeechCommandsFollowTheStatus)
{
    script->setPromptMode(PromptMode::wordFollow);
    open();
    speech.set(Kind::listening, u"语音：逐字跟读中"_qs);
    controller->questionPausePressed();
    controller->toggleScrollPressed();
    speech.set(Kind::questionPaused, u"语音：问答暂停"_qs);
    controller->toggleScrollPressed();
    speech.set(Kind::degraded, u"语音：已降级"_qs);
    controller->questionPausePressed();
    controller->toggleScrollPressed();
    EXPECT_EQ(speech.calls, (std::vector<std::string>{"toggle question pause", "stop keeping calibration",
                                                      "stop keeping calibration", "resume after low confidence",
                                                      "start"}));
    EXPECT_FALSE(autoScroll->isRunning());
}

TEST_F(PrompterWindowBehaviourTest, FixedScrollTogglesTheClockAndAnEmptyScriptDoesNothing)
{
    open();
    controller->toggleScrollPressed();
    EXPECT_TRUE(autoScroll->isRunning());
    EXPECT_EQ(controller->toggleScrollButton().text(), u"暂停滚动"_qs);
    env.scheduler().advance(0.5);
    EXPECT_GT(controller->progress().value(), 0);
    controller->fasterPressed();
    EXPECT_EQ(autoScroll->charactersPerMinute(), 280);
    EXPECT_EQ(controller->speedLabel().text(), u"固定滚动 · 280 字/分"_qs);
    controller->slowerPressed();
    controller->toggleScrollPressed();
    EXPECT_FALSE(autoScroll->isRunning());

    // An emptied script disables the start at once, and the action does nothing.
    script->deleteTimeline();
    EXPECT_FALSE(controller->toggleScrollButton().isEnabled());
    controller->toggleScrollPressed();
    EXPECT_FALSE(autoScroll->isRunning());
    EXPECT_TRUE(speech.calls.empty());

    // An imported script enables it without waiting for another refresh.
    script->replaceText(u"1\n新的稿件"_qs);
    EXPECT_TRUE(controller->toggleScrollButton().isEnabled());
}

TEST_F(PrompterWindowBehaviourTest, FontSyncAndCloseButtons)
{
    open();
    for (int i = 0; i < 12; ++i)
        controller->largerFontPressed();
    EXPECT_EQ(host->scriptView().fontSize(), 40);
    EXPECT_FALSE(controller->largerFontButton().isEnabled());
    controller->smallerFontPressed();
    EXPECT_TRUE(controller->largerFontButton().isEnabled());

    // Keynote is not running: the sync controller refuses and stays off.
    controller->toggleSyncPressed();
    EXPECT_FALSE(sync->isEnabled());
    controller->update(PresentationSafetyState::standby());
    EXPECT_FALSE(controller->syncToggleButton().isEnabled());
    EXPECT_EQ(controller->syncToggleButton().text(), u"启用双向同步"_qs);

    int closeRequests = 0;
    controller->onCloseRequested = [&] { ++closeRequests; };
    window().close();
    EXPECT_EQ(closeRequests, 1);
    EXPECT_TRUE(window().isVisible());
}

TEST_F(PrompterWindowBehaviourTest, TheProgressBarFollowsAFontSizeThatMakesTheBlockOverflowOrFit)
{
    script->replaceText(u"1\n"_qs + QString(60, QChar(0x5B57)));
    open();
    ASSERT_EQ(controller->progress().value(), 100) << "the block fits the view";
    while (controller->largerFontButton().isEnabled())
        controller->largerFontPressed();
    ASSERT_LT(host->progressFraction(), 1.0) << "the block overflows at the largest size";
    EXPECT_EQ(controller->progress().value(), std::lround(host->progressFraction() * 100));
    while (controller->smallerFontButton().isEnabled())
        controller->smallerFontPressed();
    EXPECT_EQ(controller->progress().value(), 100);
}

TEST_F(PrompterWindowBehaviourTest, TheProgressBarFollowsAHandScrollAndAResize)
{
    open();
    ScriptScrollView& view = host->scriptView();
    const auto shown = [&] { return std::lround(view.model().scrolledOffset() / view.model().maximumOffset() * 100); };
    QWheelEvent wheel(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, -360), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&view, &wheel);
    ASSERT_GT(shown(), 0);
    EXPECT_EQ(controller->progress().value(), shown());

    const long before = shown();
    window().setFrame(Rect(window().frame().origin, {window().frame().width(), window().frame().height() + 120}));
    ASSERT_TRUE(test::waitUntil([&] { return shown() != before; }));
    EXPECT_EQ(controller->progress().value(), shown());
}

TEST_F(PrompterWindowBehaviourTest, SettingsChangeBothWindowsAndClosesOnCollapse)
{
    open();
    controller->showSettings(&controller->settingsButton());
    auto* first = controller->settingsPopover();
    ASSERT_TRUE(first && first->isShown());
    auto* settings = qobject_cast<WindowSettingsViewController*>(first->contentView());
    ASSERT_TRUE(settings);
    settings->onOpacityChanged(0.5);
    settings->onAlwaysOnTopChanged(false);
    EXPECT_DOUBLE_EQ(preferences.opacity(), 0.5);
    EXPECT_FALSE(preferences.alwaysOnTop());
    for (auto* w : controller->privateWindows()) {
        EXPECT_DOUBLE_EQ(w->alphaValue(), 0.5);
        EXPECT_EQ(w->level(), platform::Window::normalLevel);
    }

    controller->showSettings(&controller->settingsButton());
    EXPECT_NE(controller->settingsPopover(), nullptr);
    autoScroll->start();
    controller->collapseToBubblePressed();
    EXPECT_FALSE(controller->settingsPopover()->isShown());
    EXPECT_FALSE(autoScroll->isRunning());
}

TEST_F(PrompterWindowBehaviourTest, CollapsesToTheTopRightCornerAndExpandsBack)
{
    open();
    window().setFrame(Rect(100, 100, 620, 460));
    window().setAlphaValue(0.8);
    controller->collapseToBubblePressed();
    EXPECT_TRUE(controller->isCollapsedToBubble());
    EXPECT_TRUE(controller->isBubbleAnimating());
    EXPECT_FALSE(window().isVisible());
    EXPECT_TRUE(bubble().isVisible());
    EXPECT_DOUBLE_EQ(bubble().alphaValue(), 0.8);
    // A second press during the animation is ignored.
    controller->collapseToBubblePressed();
    animator->finishAll();
    EXPECT_EQ(animator->started().size(), 1u);
    EXPECT_DOUBLE_EQ(animator->started()[0].duration, 0.2);
    EXPECT_EQ(bubble().frame(), Rect(664, 504, 56, 56));
    EXPECT_FALSE(controller->isBubbleAnimating());

    controller->bubbleView().onActivate();
    animator->finishAll();
    EXPECT_DOUBLE_EQ(animator->started().back().duration, 0.22);
    EXPECT_EQ(window().frame(), Rect(100, 100, 620, 460));
    EXPECT_TRUE(window().isVisible());
    EXPECT_FALSE(bubble().isVisible());
    EXPECT_FALSE(controller->isCollapsedToBubble());
    EXPECT_DOUBLE_EQ(window().alphaValue(), preferences.opacity());
}

TEST_F(PrompterWindowBehaviourTest, FramesStayWithinTheVisibleFrame)
{
    open();
    // Too big for the screen: it comes back at most at the visible frame's size.
    window().setFrame(Rect(100, 100, 2000, 1200));
    controller->collapseToBubblePressed();
    animator->finishAll();
    EXPECT_EQ(bubble().frame(), Rect(1440 - 56, 875 - 56, 56, 56));
    controller->bubbleView().onActivate();
    animator->finishAll();
    EXPECT_EQ(window().frame(), Rect(0, 0, 1440, 875));

    controller->collapseToBubblePressed();
    animator->finishAll();
    controller->bubbleView().onDrag({5000, -80});
    EXPECT_EQ(bubble().frame(), Rect(1440 - 56, 0, 56, 56));
    controller->bubbleView().onDrag({-10, 300});
    EXPECT_EQ(bubble().frame(), Rect(0, 300, 56, 56));
}

TEST_F(PrompterWindowBehaviourTest, ReleaseOrTakeOverDuringAnAnimationShowsNothingLater)
{
    open();
    controller->collapseToBubblePressed();
    animator->finishAll();
    controller->bubbleView().onActivate();
    controller->releaseScriptView();
    animator->finishAll();
    EXPECT_FALSE(window().isVisible());
    EXPECT_FALSE(bubble().isVisible());
    EXPECT_FALSE(controller->isCollapsedToBubble());

    // Take-over in the middle of a collapse: the window shows, the bubble never returns.
    controller->takeOverScriptView();
    controller->collapseToBubblePressed();
    controller->takeOverScriptView();
    animator->finishAll();
    EXPECT_TRUE(window().isVisible());
    EXPECT_FALSE(bubble().isVisible());
    EXPECT_FALSE(controller->isBubbleAnimating());
}

TEST_F(PrompterWindowBehaviourTest, ReleaseWhileCollapsedAnchorsTheHiddenWindowAtTheBubble)
{
    open();
    window().setFrame(Rect(100, 100, 620, 460));
    controller->collapseToBubblePressed();
    animator->finishAll();
    controller->bubbleView().onDrag({800, 600});
    controller->releaseScriptView();
    EXPECT_FALSE(bubble().isVisible());
    EXPECT_FALSE(window().isVisible());
    EXPECT_EQ(window().frame(), Rect(856 - 620, 656 - 460, 620, 460));

    // Hidden: the next take-over moves it to the lower right corner.
    controller->takeOverScriptView();
    EXPECT_EQ(window().frame(), Rect(1440 - 620 - 24, 42, 620, 460));
    // Shown: a take-over keeps its place.
    window().setFrame(Rect(200, 200, 620, 460));
    controller->takeOverScriptView();
    EXPECT_EQ(window().frame(), Rect(200, 200, 620, 460));
}

TEST_F(PrompterWindowBehaviourTest, WithoutABuiltInScreenNothingIsShown)
{
    displays->setScreens({test::FakeDisplayService::external(7)});
    open();
    EXPECT_FALSE(window().isVisible());
    EXPECT_EQ(host->scriptView().parentWidget(), &controller->scriptContainer());
    controller->collapseToBubblePressed();
    animator->finishAll();
    EXPECT_FALSE(bubble().isVisible());
    controller->bubbleView().onActivate();
    animator->finishAll();
    EXPECT_FALSE(window().isVisible());
}

TEST_F(PrompterWindowBehaviourTest, TheBubbleIsAButtonToAssistiveTechnologyAndItsPressExpands)
{
    open();
    controller->collapseToBubblePressed();
    animator->finishAll();
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&controller->bubbleView());
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->role(), QAccessible::Button);
    EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("展开提词窗"));
    QAccessibleActionInterface* actions = accessible->actionInterface();
    ASSERT_NE(actions, nullptr);
    ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
    actions->doAction(QAccessibleActionInterface::pressAction());
    animator->finishAll();
    EXPECT_FALSE(controller->isCollapsedToBubble());
    EXPECT_TRUE(window().isVisible());
}
