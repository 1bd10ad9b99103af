#include "prompter/PrompterWindowController.h"

#include "prompter/AutoScrollController.h"
#include "prompter/PrompterHost.h"
#include "prompter/PrompterPanel.h"
#include "prompter/PrompterBubbleView.h"
#include "prompter/ScriptScrollView.h"
#include "prompter/TimelineStripView.h"

#include "keynote/PresentationSyncController.h"
#include "model/PromptScript.h"
#include "platform/desktop/Popover.h"
#include "look/IslandButton.h"
#include "look/PrompterPreferences.h"
#include "look/WindowSettingsViewController.h"

#include <QLabel>
#include <QProgressBar>

#include <cmath>

namespace quorvia {

void PrompterWindowController::update(const PresentationSafetyState& state)
{
    presentationState_ = state;
    updateControls();
}

void PrompterWindowController::setAutomationAvailable(bool available)
{
    automationAvailable_ = available;
    updateControls();
}

PrompterToolbarState PrompterWindowController::toolbarState() const
{
    const ScriptScrollView& view = prompterHost_.scriptView();
    PrompterToolbarState::Inputs in;
    in.mode = script_.promptMode();
    in.hasContent = script_.hasContent();
    in.automationAvailable = automationAvailable_;
    in.autoScrollRunning = autoScroll_.isRunning();
    in.speedText = autoScroll_.speedText();
    in.canIncreaseSpeed = autoScroll_.canIncreaseSpeed();
    in.canDecreaseSpeed = autoScroll_.canDecreaseSpeed();
    in.speech = speechAutomation_.status();
    in.canIncreaseFontSize = view.canIncreaseFontSize();
    in.canDecreaseFontSize = view.canDecreaseFontSize();
    in.syncEnabled = syncController_.isEnabled();
    in.safety = presentationState_;
    return PrompterToolbarState::make(in);
}

void PrompterWindowController::updateLabels()
{
    const QString name = script_.activeProjectName();
    window_->setTitle(PrompterToolbarState::windowTitle(name));
    privateBadge_->setText(PrompterToolbarState::badgeText(name, script_.positionText()));
    timelineStrip_->reload(script_.timelineBlocks(), static_cast<int>(script_.currentIndex()));
}

void PrompterWindowController::updateControls()
{
    const PrompterToolbarState s = toolbarState();
    speedLabel_->setText(s.speedLabel);
    toggleScrollButton_->setText(s.toggleTitle);
    toggleScrollButton_->setEnabled(s.toggleEnabled);
    slowerButton_->setEnabled(s.slowerEnabled);
    fasterButton_->setEnabled(s.fasterEnabled);
    questionPauseButton_->setText(s.questionPauseTitle);
    questionPauseButton_->setEnabled(s.questionPauseEnabled);
    smallerFontButton_->setEnabled(s.smallerFontEnabled);
    largerFontButton_->setEnabled(s.largerFontEnabled);
    syncToggleButton_->setText(s.syncTitle);
    syncToggleButton_->setEnabled(s.syncEnabled);
    updateLabels();
}

void PrompterWindowController::updateProgress()
{
    progress_->setValue(static_cast<int>(std::lround(prompterHost_.progressFraction() * 100)));
}

void PrompterWindowController::toggleScrollPressed()
{
    if (!script_.hasContent())
        return;
    if (script_.promptMode() == PromptMode::fixedScroll) {
        autoScroll_.toggle();
        return;
    }
    if (PrompterToolbarState::isSpeechActive(speechAutomation_.status()))
        speechAutomation_.stopRecognition(true);
    else
        speechAutomation_.startSelectedMode();
}

void PrompterWindowController::questionPausePressed()
{
    if (speechAutomation_.status().kind == PrompterSpeechStatus::Kind::degraded)
        speechAutomation_.resumeAfterLowConfidence();
    else
        speechAutomation_.toggleQuestionPause();
}

void PrompterWindowController::slowerPressed() { autoScroll_.decreaseSpeed(); }

void PrompterWindowController::fasterPressed() { autoScroll_.increaseSpeed(); }

void PrompterWindowController::smallerFontPressed()
{
    prompterHost_.scriptView().decreaseFontSize();
    updateControls();
}

void PrompterWindowController::largerFontPressed()
{
    prompterHost_.scriptView().increaseFontSize();
    updateControls();
}

void PrompterWindowController::toggleSyncPressed()
{
    if (syncController_.isEnabled())
        syncController_.disable();
    else
        syncController_.enable();
}

void PrompterWindowController::showSettings(QWidget* button)
{
    auto* settings = new WindowSettingsViewController(QStringLiteral("提词窗设置"),
                                                      QStringLiteral("只调整分离提词窗，不影响主页灵动岛。"),
                                                      preferences_.opacity(), preferences_.alwaysOnTop(), true);
    std::weak_ptr<bool> alive = alive_;
    settings->onOpacityChanged = [this, alive](double value) {
        if (!alive.lock())
            return;
        preferences_.setOpacity(value);
        window_->setAlphaValue(value);
        bubblePanel_->setAlphaValue(value);
    };
    settings->onAlwaysOnTopChanged = [this, alive](bool onTop) {
        if (!alive.lock())
            return;
        preferences_.setAlwaysOnTop(onTop);
        const int level = onTop ? platform::Window::floatingLevel : platform::Window::normalLevel;
        window_->setLevel(level);
        bubblePanel_->setLevel(level);
    };
    settingsPopover_ = std::make_unique<platform::Popover>(settings);
    if (button)
        settingsPopover_->show(button, platform::Popover::Edge::maxY);
}

void PrompterWindowController::closeSettingsPopover()
{
    if (settingsPopover_)
        settingsPopover_->dismiss();
}

bool PrompterWindowController::windowShouldClose()
{
    if (onCloseRequested)
        onCloseRequested();
    return false;
}

} // namespace quorvia
