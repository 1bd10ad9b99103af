#pragma once

#include "prompter/PrompterToolbarState.h"

#include "platform/core/Animator.h"
#include "platform/core/Geometry.h"
#include "platform/core/NotificationCenter.h"
#include "privacy/PresentationSafetyState.h"

#include <QPointer>

#include <functional>
#include <memory>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class QWidget;

namespace quorvia {

namespace platform {
class Popover;
class Window;
}
class AutoScrollController;
class IslandButton;
class PresentationSyncController;
class PrompterBubblePanel;
class PrompterBubbleView;
class PrompterHost;
class PrompterPanel;
class PrompterPreferences;
class PromptScript;
class TimelineStripView;

// The private prompter window: badge and speed line, the one script view
// (moved in by the host), a compact timeline strip, two rows of commands and
// the reading progress; it collapses to a draggable bubble. Main thread only.
class PrompterWindowController {
public:
    static constexpr platform::Size bubbleSize{56, 56};
    static constexpr double collapseDuration = 0.2;
    static constexpr double expandDuration = 0.22;

    PrompterWindowController(PromptScript& script, AutoScrollController& autoScroll, PrompterHost& prompterHost,
                             PrompterPreferences& preferences, PrompterSpeechAutomation& speechAutomation,
                             PresentationSyncController& syncController);
    ~PrompterWindowController();
    PrompterWindowController(const PrompterWindowController&) = delete;
    PrompterWindowController& operator=(const PrompterWindowController&) = delete;

    // The window, then the bubble panel.
    std::vector<platform::Window*> privateWindows() const;

    void update(const PresentationSafetyState& state);
    void setAutomationAvailable(bool available);
    std::function<void()> onCloseRequested;

    // Commands of the toolbar, the header and the window.
    void toggleScrollPressed();
    void slowerPressed();
    void fasterPressed();
    void questionPausePressed();
    void smallerFontPressed();
    void largerFontPressed();
    void toggleSyncPressed();
    void collapseToBubblePressed();
    void showSettings(QWidget* button);
    bool windowShouldClose();

    // The owner moves the one script view in and out.
    void takeOverScriptView();
    void releaseScriptView();
    void positionOnBuiltInScreen();
    // A hide of the private windows ends a running collapse or expand in its
    // final form without showing it; answers what that form shows.
    std::vector<platform::Window*> settleForHide();

    // What tests and the owner look at.
    PrompterPanel& window() const { return *window_; }
    PrompterBubblePanel& bubblePanel() const { return *bubblePanel_; }
    PrompterBubbleView& bubbleView() const { return *bubbleView_; }
    QWidget& scriptContainer() const { return *scriptContainer_; }
    TimelineStripView& timelineStrip() const { return *timelineStrip_; }
    QLabel& privateBadge() const { return *privateBadge_; }
    QLabel& speedLabel() const { return *speedLabel_; }
    QProgressBar& progress() const { return *progress_; }
    IslandButton& toggleScrollButton() const { return *toggleScrollButton_; }
    IslandButton& slowerButton() const { return *slowerButton_; }
    IslandButton& fasterButton() const { return *fasterButton_; }
    IslandButton& questionPauseButton() const { return *questionPauseButton_; }
    IslandButton& smallerFontButton() const { return *smallerFontButton_; }
    IslandButton& largerFontButton() const { return *largerFontButton_; }
    IslandButton& syncToggleButton() const { return *syncToggleButton_; }
    QPushButton& collapseButton() const { return *collapseButton_; }
    QPushButton& settingsButton() const { return *settingsButton_; }
    platform::Popover* settingsPopover() const { return settingsPopover_.get(); }
    bool isCollapsedToBubble() const { return isCollapsedToBubble_; }
    bool isBubbleAnimating() const { return isBubbleAnimating_; }
    platform::Size expandedWindowSize() const { return expandedWindowSize_; }
    const PresentationSafetyState& presentationState() const { return presentationState_; }
    bool automationAvailable() const { return automationAvailable_; }
    PrompterToolbarState toolbarState() const;

private:
    QWidget* makeContentView();
    void configure(IslandButton* button, const QString& title, void (PrompterWindowController::*action)());
    void configureBubblePanel();
    void observe();
    void updateLabels();
    void updateControls();
    void updateProgress();
    void closeSettingsPopover();

    void expandFromBubble();
    void moveBubble(platform::Point origin);
    void clampBubbleToBuiltInScreen();
    void restoreExpandedStateWithoutShowing();
    platform::Rect expandedFrame(const platform::Rect& bubble) const;
    // The completion learns whether it may show what it finishes.
    void animateBubble(double duration, const platform::Rect& target, std::function<void(bool reveal)> completion);

    PromptScript& script_;
    AutoScrollController& autoScroll_;
    PrompterHost& prompterHost_;
    PrompterPreferences& preferences_;
    PrompterSpeechAutomation& speechAutomation_;
    PresentationSyncController& syncController_;

    std::unique_ptr<PrompterBubblePanel> bubblePanel_;
    PrompterBubbleView* bubbleView_ = nullptr;
    std::unique_ptr<PrompterPanel> window_;
    QLabel* privateBadge_ = nullptr;
    QLabel* speedLabel_ = nullptr;
    QWidget* scriptContainer_ = nullptr;
    TimelineStripView* timelineStrip_ = nullptr;
    QProgressBar* progress_ = nullptr;
    IslandButton* toggleScrollButton_ = nullptr;
    IslandButton* slowerButton_ = nullptr;
    IslandButton* fasterButton_ = nullptr;
    IslandButton* questionPauseButton_ = nullptr;
    IslandButton* smallerFontButton_ = nullptr;
    IslandButton* largerFontButton_ = nullptr;
    IslandButton* syncToggleButton_ = nullptr;
    QPushButton* collapseButton_ = nullptr;
    QPushButton* settingsButton_ = nullptr;

    platform::Observation scriptObserver_;
    platform::Observation autoScrollObserver_;
    platform::Observation speechObserver_;
    platform::Observation modeObserver_;
    platform::Observation fontSizeObserver_;
    platform::Observation syncObserver_;
    platform::Observation projectsObserver_;
    std::unique_ptr<platform::Popover> settingsPopover_;

    bool isCollapsedToBubble_ = false;
    bool isBubbleAnimating_ = false;
    platform::Size expandedWindowSize_{620, 460};
    PresentationSafetyState presentationState_;
    bool automationAvailable_ = false;
    // Each collapse and expand is one generation; a completion from an older
    // one (after a release, take-over or hide) does nothing.
    unsigned bubbleGeneration_ = 0;
    platform::AnimationId bubbleAnimation_ = 0;
    std::function<void(bool reveal)> bubbleCompletion_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace quorvia
