#pragma once

#include "island/IslandModule.h"
#include "platform/core/Geometry.h"
#include "platform/core/NotificationCenter.h"

#include <QPointer>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QLabel;
class QMenu;
class QWidget;

namespace quorvia {

namespace platform {
class Popover;
class Window;
}
class IslandBackgroundView;
class IslandButton;
class IslandCompactTriggerView;
class IslandPreferences;
class IslandResizeHandleView;
class IslandTriggerPanel;
class IslandWindow;

// The control island: a dark panel at the top centre of the built-in screen
// hosting the first module, and the small trigger panel that stands in for it
// while it is collapsed.
class IslandWindowController {
public:
    IslandWindowController(std::vector<std::shared_ptr<IslandModule>> modules, IslandPreferences& preferences);
    ~IslandWindowController();
    IslandWindowController(const IslandWindowController&) = delete;
    IslandWindowController& operator=(const IslandWindowController&) = delete;

    IslandWindow* window() const;
    // The island window, then the trigger panel.
    std::vector<platform::Window*> privateWindows() const;

    void showWindow();
    void positionOnBuiltInScreen();
    void restoreAfterApplicationReopen();

    void toggleExpanded();
    // A hide of the private windows ends the running fade and trigger resize
    // in their final form, so whatever comes back is whole.
    void settleForHide();
    void showSettings(QWidget* sender);

    std::function<void()> onWindowFrameChanged;
    std::function<void()> onWillCollapse;

    // What tests and screenshots look at.
    bool isExpanded() const { return isExpanded_; }
    bool isCompactHovered() const { return isCompactHovered_; }
    IslandTriggerPanel& compactPanel() const { return *compactPanel_; }
    IslandCompactTriggerView& compactTrigger() const { return *compactTrigger_; }
    QLabel& moduleTitle() const { return *moduleTitle_; }
    QWidget& moduleContent() const { return *moduleContent_; }
    IslandButton& collapseButton() const { return *collapseButton_; }
    IslandButton& settingsButton() const { return *settingsButton_; }
    const std::vector<IslandResizeHandleView*>& resizeHandles() const { return handles_; }
    platform::Popover* settingsPopover() const { return settingsPopover_.get(); }
    bool compactPanelHasShadow() const { return compactHasShadow_; }
    // The menu a right click on the island's background opened, while it is up.
    QMenu* contextMenu() const;
    // The main menu's items (about, quit) at a point of Qt's global space.
    void showContextMenu(const QPoint& globalPosition);

private:
    void configureWindow(IslandWindow& window);
    void configureCompactPanel();
    void buildViewHierarchy();
    void layoutViews();
    IslandButton* iconButton(const QString& symbolName);
    void activateModule(std::size_t index);
    void applyExpandedHeight();
    void moduleHeightChanged(const platform::Notification& notification);
    void frameChanged();

    void collapseToCompactPanel();
    void expandFromCompactPanel();
    void updateCompactPanel(bool hovered, bool animated);
    void beginFormChange();
    void fadeIn(platform::Window& target, double duration);

    std::vector<std::shared_ptr<IslandModule>> modules_;
    IslandPreferences& preferences_;
    std::unique_ptr<IslandTriggerPanel> compactPanel_;
    std::unique_ptr<IslandWindow> window_;
    std::size_t activeIndex_ = 0;
    bool isExpanded_ = true;
    bool isCompactHovered_ = false;
    std::unique_ptr<platform::Popover> settingsPopover_;
    std::vector<std::unique_ptr<platform::Popover>> retiredPopovers_;
    bool compactHasShadow_ = false;
    // Bumped by every collapse and expand; animations of an older form do nothing.
    std::uint64_t formGeneration_ = 0;
    std::uint64_t fadeAnimation_ = 0;
    std::uint64_t compactFrameAnimation_ = 0;
    QPointer<platform::Window> fadeTarget_;
    platform::Rect compactFrameTarget_;

    IslandBackgroundView* backgroundView_ = nullptr;
    IslandCompactTriggerView* compactTrigger_ = nullptr;
    QLabel* moduleTitle_ = nullptr;
    QWidget* header_ = nullptr;
    QWidget* moduleContent_ = nullptr;
    IslandButton* collapseButton_ = nullptr;
    IslandButton* settingsButton_ = nullptr;
    std::vector<IslandResizeHandleView*> handles_;
    QPointer<QMenu> contextMenu_;

    platform::Observation heightObservation_;
};

} // namespace quorvia
