#include "prompter/PrompterWindowController.h"

#include "prompter/AutoScrollController.h"
#include "prompter/PrompterBubbleGeometry.h"
#include "prompter/PrompterBubbleView.h"
#include "prompter/PrompterHost.h"
#include "prompter/PrompterPanel.h"

#include "platform/Platform.h"
#include "privacy/DisplayTopology.h"
#include "look/PrompterPreferences.h"

#include <QWidget>

namespace quorvia {

using platform::Point;
using platform::Rect;

namespace {

std::optional<Rect> builtInVisibleFrame()
{
    if (const auto screen = DisplayTopology::builtInScreen())
        return screen->visibleFrame;
    return std::nullopt;
}

Rect interpolate(const Rect& from, const Rect& to, double p)
{
    auto mix = [p](double a, double b) { return a + (b - a) * p; };
    return Rect(mix(from.minX(), to.minX()), mix(from.minY(), to.minY()), mix(from.width(), to.width()),
                mix(from.height(), to.height()));
}

} // namespace

void PrompterWindowController::configureBubblePanel()
{
    PrompterBubblePanel& b = *bubblePanel_;
    b.setAttribute(Qt::WA_TranslucentBackground);
    b.setLevel(preferences_.alwaysOnTop() ? platform::Window::floatingLevel : platform::Window::normalLevel);
    b.setAlphaValue(preferences_.opacity());
    b.setCollectionBehavior(platform::CollectionBehavior::canJoinAllSpaces | platform::CollectionBehavior::stationary
                            | platform::CollectionBehavior::ignoresCycle
                            | platform::CollectionBehavior::fullScreenAuxiliary);
    b.setSharingType(platform::SharingType::none);
    b.setHidesOnDeactivate(false);
    b.setContentView(bubbleView_);
    b.setShape({platform::WindowShape::Kind::ellipse});
    b.setHasShadow(true);
    std::weak_ptr<bool> alive = alive_;
    bubbleView_->onActivate = [this, alive] {
        if (alive.lock())
            expandFromBubble();
    };
    bubbleView_->onDrag = [this, alive](Point origin) {
        if (alive.lock())
            moveBubble(origin);
    };
}

void PrompterWindowController::positionOnBuiltInScreen()
{
    const auto visible = builtInVisibleFrame();
    if (!visible)
        return;
    window_->setFrameOrigin(PrompterBubbleGeometry::windowOrigin(window_->frame().size, *visible));
}

void PrompterWindowController::takeOverScriptView()
{
    restoreExpandedStateWithoutShowing();
    prompterHost_.install(scriptContainer_);
    std::weak_ptr<bool> alive = alive_;
    prompterHost_.onAdvanced = [this, alive] {
        if (alive.lock())
            updateProgress();
    };
    // A step, a jump, a project switch or a hand scroll moves what shows: the bar follows it at once.
    prompterHost_.onReloaded = prompterHost_.onAdvanced;
    if (!window_->isVisible())
        positionOnBuiltInScreen();
    // Never on a screen that may be the audience's.
    if (builtInVisibleFrame())
        window_->orderFrontRegardless();
    updateLabels();
    updateControls();
    updateProgress();
}

void PrompterWindowController::releaseScriptView()
{
    prompterHost_.onAdvanced = nullptr;
    prompterHost_.onReloaded = nullptr;
    closeSettingsPopover();
    bubblePanel_->orderOut();
    restoreExpandedStateWithoutShowing();
    window_->orderOut();
}

void PrompterWindowController::restoreExpandedStateWithoutShowing()
{
    if (!isCollapsedToBubble_ && !isBubbleAnimating_)
        return;
    ++bubbleGeneration_;
    if (bubbleAnimation_ != 0)
        platform::current().animator().cancel(bubbleAnimation_);
    bubbleAnimation_ = 0;
    bubbleCompletion_ = nullptr;
    const Rect target = expandedFrame(bubblePanel_->frame());
    bubblePanel_->orderOut();
    window_->setFrame(target);
    isCollapsedToBubble_ = false;
    isBubbleAnimating_ = false;
}

Rect PrompterWindowController::expandedFrame(const Rect& bubble) const
{
    return PrompterBubbleGeometry::expandedFrame(bubble, expandedWindowSize_, builtInVisibleFrame());
}

void PrompterWindowController::animateBubble(double duration, const Rect& target,
                                             std::function<void(bool reveal)> completion)
{
    const unsigned generation = ++bubbleGeneration_;
    const Rect start = bubblePanel_->frame();
    std::weak_ptr<bool> alive = alive_;
    auto current = [this, alive, generation] { return alive.lock() && generation == bubbleGeneration_ && isBubbleAnimating_; };
    bubbleCompletion_ = std::move(completion);
    bubbleAnimation_ = platform::current().animator().start(
        duration, platform::TimingCurve::easeInEaseOut,
        [this, current, start, target](double p) {
            if (current())
                bubblePanel_->setFrame(interpolate(start, target, p));
        },
        [this, current] {
            if (!current())
                return;
            bubbleAnimation_ = 0;
            auto finish = std::move(bubbleCompletion_);
            bubbleCompletion_ = nullptr;
            if (finish)
                finish(true);
        });
}

std::vector<platform::Window*> PrompterWindowController::settleForHide()
{
    if (!isBubbleAnimating_ || !bubbleCompletion_)
        return {};
    ++bubbleGeneration_;
    if (bubbleAnimation_ != 0)
        platform::current().animator().cancel(bubbleAnimation_);
    bubbleAnimation_ = 0;
    auto finish = std::move(bubbleCompletion_);
    bubbleCompletion_ = nullptr;
    // A collapse ends as the bubble, which already shows; an expand ends as
    // the window, which shows only once the hide is lifted.
    const bool showing = bubblePanel_->isVisible();
    finish(false);
    if (showing && !isCollapsedToBubble_ && builtInVisibleFrame())
        return {window_.get()};
    return {};
}

void PrompterWindowController::collapseToBubblePressed()
{
    if (isCollapsedToBubble_ || isBubbleAnimating_)
        return;
    autoScroll_.pause();
    closeSettingsPopover();
    const Rect windowFrame = window_->frame();
    expandedWindowSize_ = windowFrame.size;
    const Rect target = PrompterBubbleGeometry::bubbleFrame(windowFrame);
    isCollapsedToBubble_ = true;
    isBubbleAnimating_ = true;
    bubblePanel_->setLevel(preferences_.alwaysOnTop() ? platform::Window::floatingLevel : platform::Window::normalLevel);
    bubblePanel_->setAlphaValue(window_->alphaValue());
    bubblePanel_->setFrame(windowFrame);
    if (builtInVisibleFrame())
        bubblePanel_->orderFrontRegardless();
    window_->orderOut();
    animateBubble(collapseDuration, target, [this, target](bool) {
        bubblePanel_->setFrame(target);
        isBubbleAnimating_ = false;
        clampBubbleToBuiltInScreen();
    });
}

void PrompterWindowController::expandFromBubble()
{
    if (!isCollapsedToBubble_ || isBubbleAnimating_)
        return;
    isBubbleAnimating_ = true;
    const Rect target = expandedFrame(bubblePanel_->frame());
    animateBubble(expandDuration, target, [this, target](bool reveal) {
        bubblePanel_->orderOut();
        window_->setFrame(target);
        window_->setAlphaValue(preferences_.opacity());
        window_->setLevel(preferences_.alwaysOnTop() ? platform::Window::floatingLevel : platform::Window::normalLevel);
        if (reveal && builtInVisibleFrame())
            window_->orderFrontRegardless();
        isCollapsedToBubble_ = false;
        isBubbleAnimating_ = false;
    });
}

void PrompterWindowController::moveBubble(Point origin)
{
    const auto visible = builtInVisibleFrame();
    if (!isCollapsedToBubble_ || !visible)
        return;
    const Rect frame = bubblePanel_->frame();
    bubblePanel_->setFrameOrigin(PrompterBubbleGeometry::clamped(Rect(origin, frame.size), *visible).origin);
}

void PrompterWindowController::clampBubbleToBuiltInScreen()
{
    const auto visible = builtInVisibleFrame();
    if (!isCollapsedToBubble_ || !visible)
        return;
    bubblePanel_->setFrame(PrompterBubbleGeometry::clamped(bubblePanel_->frame(), *visible));
}

} // namespace quorvia
