#pragma once

#include "platform/core/NotificationCenter.h"
#include "platform/desktop/Window.h"

#include <functional>
#include <memory>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

namespace quorvia {

class PromptScript;
struct PresentationDeck;

// The review window for section-to-slide mappings: one row per section with a
// pop-up of the deck's slides. Writes go through the script; cloud matching is
// run by the owner through the callbacks.
class SlideMappingWindowController {
public:
    explicit SlideMappingWindowController(PromptScript& script);
    ~SlideMappingWindowController();
    SlideMappingWindowController(const SlideMappingWindowController&) = delete;
    SlideMappingWindowController& operator=(const SlideMappingWindowController&) = delete;

    // Rebuilds, centres on the built-in screen and shows; stays hidden
    // without a built-in screen.
    void present();
    void positionOnBuiltInScreen();
    void setCloudAIWorking(bool working);
    void setCloudAIStatus(const QString& message, bool isError);

    std::function<void()> onConfigureCloudAI;
    std::function<void()> onRunCloudAI;

    platform::Window* window() const { return window_.get(); }
    QLabel* heading() const { return heading_; }
    QLabel* aiStatusLabel() const { return aiStatusLabel_; }
    QPushButton* configureAIButton() const { return configureAIButton_; }
    QPushButton* runAIButton() const { return runAIButton_; }
    QPushButton* closeButton() const { return closeButton_; }
    QWidget* rowsView() const { return rowsView_; }
    // The pop-up of each section row, in section order (empty before the first present).
    const std::vector<QComboBox*>& popups() const { return popups_; }

private:
    QWidget* makeContentView();
    void reload();
    QWidget* makeRow(qint64 sectionIndex, const QString& text, const PresentationDeck& deck);
    void mappingChanged(QComboBox* popup, qint64 sectionIndex);

    PromptScript& script_;
    std::unique_ptr<platform::Window> window_;
    QLabel* heading_ = nullptr;
    QLabel* aiStatusLabel_ = nullptr;
    QPushButton* configureAIButton_ = nullptr;
    QPushButton* runAIButton_ = nullptr;
    QPushButton* closeButton_ = nullptr;
    QScrollArea* scrollView_ = nullptr;
    QWidget* rowsView_ = nullptr;
    QVBoxLayout* rows_ = nullptr;
    std::vector<QComboBox*> popups_;
    std::vector<platform::Observation> observers_;
    bool isApplyingMapping_ = false;
    bool isRunningCloudAI_ = false;
};

} // namespace quorvia
