#include "island/IslandWindowController.h"

#include "island/IslandBackgroundView.h"
#include "island/IslandCompactTriggerView.h"
#include "island/IslandResizeHandleView.h"
#include "island/IslandWindow.h"
#include "island/IslandWindowGeometry.h"
#include "platform/core/Animator.h"
#include "platform/application/MenuItems.h"
#include "platform/Platform.h"
#include "platform/desktop/Popover.h"
#include "platform/desktop/Symbols.h"
#include "privacy/DisplayTopology.h"
#include "look/IslandButton.h"
#include "look/IslandPreferences.h"
#include "look/IslandTriggerPanel.h"
#include "look/DarkColours.h"
#include "look/WindowSettingsViewController.h"
#include "look/TextStyle.h"
#include "island/IslandModuleSettingsProviding.h"

#include <QLabel>
#include <QMenu>
#include <QVBoxLayout>

namespace quorvia {

using platform::CollectionBehavior;
using platform::Rect;
using platform::WindowStyle;
namespace geometry = island_geometry;

namespace {
constexpr int statusWindowLevel = 25;
} // namespace

IslandWindowController::IslandWindowController(std::vector<std::shared_ptr<IslandModule>> modules,
                                               IslandPreferences& preferences)
    : modules_(std::move(modules)), preferences_(preferences)
{
    backgroundView_ = new IslandBackgroundView;
    compactTrigger_ = new IslandCompactTriggerView;
    moduleTitle_ = new QLabel(QString());
    moduleContent_ = new QWidget;
    collapseButton_ = new IslandButton;

    compactPanel_ = std::make_unique<IslandTriggerPanel>(Rect(), WindowStyle::borderless
                                                                     | WindowStyle::nonactivatingPanel);
    const double height = (modules_.empty() ? 400 : modules_.front()->preferredExpandedHeight())
        + geometry::collapseFooterAllowance;
    window_ = std::make_unique<IslandWindow>(Rect(0, 0, geometry::defaultWidth, height),
                                             WindowStyle::borderless | WindowStyle::nonactivatingPanel
                                                 | WindowStyle::resizable);

    configureWindow(*window_);
    configureCompactPanel();
    buildViewHierarchy();
    activateModule(0);
    positionOnBuiltInScreen();

    heightObservation_ = platform::NotificationCenter::defaultCenter().observe(
        IslandModule::islandModuleHeightChanged, nullptr,
        [this](const platform::Notification& n) { moduleHeightChanged(n); });
}

IslandWindowController::~IslandWindowController()
{
    // A step after this point would reach freed windows.
    if (platform::hasCurrent()) {
        platform::Animator& animator = platform::current().animator();
        animator.cancel(fadeAnimation_);
        animator.cancel(compactFrameAnimation_);
    }
    heightObservation_.reset();
    if (window_) {
        window_->onDidMove = nullptr;
        window_->onDidResize = nullptr;
    }
}

IslandWindow* IslandWindowController::window() const { return window_.get(); }

std::vector<platform::Window*> IslandWindowController::privateWindows() const
{
    std::vector<platform::Window*> windows;
    if (window_)
        windows.push_back(window_.get());
    windows.push_back(compactPanel_.get());
    return windows;
}

void IslandWindowController::showWindow()
{
    // With no screen of the speaker's own, the one screen there is may be the audience's.
    if (window_ && DisplayTopology::builtInScreen())
        window_->orderFront();
}

void IslandWindowController::configureWindow(IslandWindow& w)
{
    w.setAttribute(Qt::WA_TranslucentBackground);
    w.setPalette(dark_colours::darkAppearance());
    w.setAlphaValue(preferences_.opacity());
    w.setLevel(preferences_.alwaysOnTop() ? platform::Window::floatingLevel : platform::Window::normalLevel);
    w.setCollectionBehavior(CollectionBehavior::canJoinAllSpaces | CollectionBehavior::fullScreenAuxiliary
                            | CollectionBehavior::stationary);
    w.setSharingType(platform::SharingType::none);
    w.setShape({platform::WindowShape::Kind::roundedRectangle, 24});
    w.setHasShadow(true);
    w.setContentMinSize(geometry::minimumContentSize);
    w.setIgnoresMouseEvents(false);
    w.setHidesOnDeactivate(false);
    w.setBecomesKeyOnlyIfNeeded(true);
    w.onDidMove = [this] { frameChanged(); };
    w.onDidResize = [this] { frameChanged(); };
}

void IslandWindowController::configureCompactPanel()
{
    IslandTriggerPanel& p = *compactPanel_;
    p.setAttribute(Qt::WA_TranslucentBackground);
    p.setPalette(dark_colours::darkAppearance());
    p.setLevel(statusWindowLevel);
    p.setCollectionBehavior(CollectionBehavior::canJoinAllSpaces | CollectionBehavior::fullScreenAuxiliary
                            | CollectionBehavior::stationary | CollectionBehavior::ignoresCycle);
    p.setSharingType(platform::SharingType::none);
    p.setHidesOnDeactivate(false);
    p.setIgnoresMouseEvents(false);
    p.setContentView(compactTrigger_);
    compactTrigger_->onHoverChanged = [this](bool hovered) { updateCompactPanel(hovered, true); };
    compactTrigger_->onActivate = [this] { expandFromCompactPanel(); };
}

IslandButton* IslandWindowController::iconButton(const QString& symbolName)
{
    auto* b = new IslandButton;
    b->setFlat(true);
    b->setIcon(platform::symbolIcon(symbolName, dark_colours::white()));
    return b;
}

void IslandWindowController::buildViewHierarchy()
{
    if (!window_)
        return;
    window_->setContentView(backgroundView_);

    settingsButton_ = iconButton(QStringLiteral("gearshape"));
    settingsButton_->setIconSize(QSize(20, 20));
    settingsButton_->setAccessibleName(QStringLiteral("灵动岛设置"));
    settingsButton_->setToolTip(QStringLiteral("透明度与置顶设置"));
    QObject::connect(settingsButton_, &QPushButton::clicked, settingsButton_,
                     [this] { showSettings(settingsButton_); });

    collapseButton_->setText(QStringLiteral("收起到顶部"));
    collapseButton_->setIcon(platform::symbolIcon(QStringLiteral("chevron.up"), dark_colours::white()));
    collapseButton_->setFont(pixelFont(14, QFont::DemiBold));
    collapseButton_->setAccessibleName(QStringLiteral("收起到顶部"));
    QObject::connect(collapseButton_, &QPushButton::clicked, collapseButton_, [this] { toggleExpanded(); });

    moduleTitle_->setFont(pixelFont(22, QFont::Bold));
    QPalette titlePalette = moduleTitle_->palette();
    titlePalette.setColor(QPalette::WindowText, dark_colours::white());
    moduleTitle_->setPalette(titlePalette);
    moduleTitle_->setWordWrap(false);

    header_ = new QWidget(backgroundView_);
    moduleTitle_->setParent(header_);
    settingsButton_->setParent(header_);
    moduleContent_->setParent(backgroundView_);
    collapseButton_->setParent(backgroundView_);
    auto* contentLayout = new QVBoxLayout(moduleContent_);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    contentLayout->setSpacing(0);

    using Edge = IslandResizeHandleView::Edge;
    for (Edge edge : {Edge::left, Edge::right, Edge::top, Edge::bottom, Edge::topLeft, Edge::topRight,
                      Edge::bottomLeft, Edge::bottomRight})
        handles_.push_back(new IslandResizeHandleView(edge, backgroundView_));

    backgroundView_->onLayout = [this] { layoutViews(); };
    backgroundView_->onContextMenu = [this](const QPoint& at) { showContextMenu(at); };
    layoutViews();
}

void IslandWindowController::layoutViews()
{
    const int w = backgroundView_->width();
    const int h = backgroundView_->height();
    const int headerWidth = w - 22 - 18;
    header_->setGeometry(22, 14, headerWidth, 36);
    settingsButton_->setGeometry(headerWidth - 36, 0, 36, 36);
    const int titleWidth = std::max(0, std::min(moduleTitle_->sizeHint().width(), headerWidth - 36 - 12));
    const int titleHeight = moduleTitle_->sizeHint().height();
    moduleTitle_->setGeometry(0, (36 - titleHeight) / 2, titleWidth, titleHeight);
    collapseButton_->setGeometry(22, h - 18 - 40, w - 44, 40);
    moduleContent_->setGeometry(22, 14 + 36 + 20, w - 44, std::max(0, h - 140));

    const int t = int(geometry::resizeHandleThickness);
    const int c = int(geometry::resizeCornerSize);
    using Edge = IslandResizeHandleView::Edge;
    for (IslandResizeHandleView* handle : handles_) {
        QRect r;
        switch (handle->edge()) {
        case Edge::left: r = QRect(0, 0, t, h); break;
        case Edge::right: r = QRect(w - t, 0, t, h); break;
        case Edge::top: r = QRect(t, 0, w - 2 * t, t); break;
        case Edge::bottom: r = QRect(t, h - t, w - 2 * t, t); break;
        case Edge::topLeft: r = QRect(0, 0, c, c); break;
        case Edge::topRight: r = QRect(w - c, 0, c, c); break;
        case Edge::bottomLeft: r = QRect(0, h - c, c, c); break;
        case Edge::bottomRight: r = QRect(w - c, h - c, c, c); break;
        }
        handle->setGeometry(r);
        handle->raise();
    }
}

void IslandWindowController::activateModule(std::size_t index)
{
    if (index >= modules_.size())
        return;
    if (activeIndex_ < modules_.size())
        modules_[activeIndex_]->didResignActive();
    activeIndex_ = index;
    IslandModule& module = *modules_[index];
    module.didBecomeActive();

    const auto old = moduleContent_->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget* child : old) {
        moduleContent_->layout()->removeWidget(child);
        child->hide();
        child->deleteLater();
    }
    QWidget* view = module.makeExpandedView();
    if (view) {
        moduleContent_->layout()->addWidget(view);
        view->show();
    }
    moduleTitle_->setText(module.title());
    layoutViews();
    applyExpandedHeight();
}

void IslandWindowController::applyExpandedHeight()
{
    if (!window_ || !isExpanded_ || activeIndex_ >= modules_.size())
        return;
    const auto frame = geometry::expandedFrame(window_->frame(), modules_[activeIndex_]->preferredExpandedHeight());
    if (!frame)
        return;
    window_->setFrame(*frame);
    if (onWindowFrameChanged)
        onWindowFrameChanged();
}

void IslandWindowController::moduleHeightChanged(const platform::Notification& notification)
{
    if (activeIndex_ >= modules_.size() || !notification.sender)
        return;
    const QString activeID = modules_[activeIndex_]->id();
    for (const auto& module : modules_) {
        if (static_cast<const IslandModule*>(module.get()) == notification.sender) {
            if (module->id() == activeID)
                applyExpandedHeight();
            return;
        }
    }
}

void IslandWindowController::frameChanged()
{
    if (onWindowFrameChanged)
        onWindowFrameChanged();
}

void IslandWindowController::positionOnBuiltInScreen()
{
    const auto screen = DisplayTopology::builtInScreen();
    if (!window_ || !screen) {
        compactPanel_->orderOut();
        return;
    }
    window_->setFrameOrigin(geometry::islandOrigin(*screen, window_->frame().size));
    if (!isExpanded_)
        updateCompactPanel(isCompactHovered_, false);
}

void IslandWindowController::toggleExpanded()
{
    if (isExpanded_)
        collapseToCompactPanel();
    else
        expandFromCompactPanel();
}

void IslandWindowController::restoreAfterApplicationReopen()
{
    if (!DisplayTopology::builtInScreen())
        return;
    if (!isExpanded_) {
        expandFromCompactPanel();
        return;
    }
    positionOnBuiltInScreen();
    if (window_)
        window_->orderFrontRegardless();
}

void IslandWindowController::fadeIn(platform::Window& target, double duration)
{
    const double opacity = preferences_.opacity();
    const std::uint64_t generation = formGeneration_;
    QPointer<platform::Window> guarded(&target);
    fadeTarget_ = guarded;
    // A hidden window keeps fading: it must come back at its full opacity.
    fadeAnimation_ = platform::current().animator().start(
        duration, platform::TimingCurve::easeInEaseOut,
        [this, guarded, generation, opacity](double progress) {
            // A later collapse or expand owns the window now.
            if (generation != formGeneration_ || !guarded)
                return;
            guarded->setAlphaValue(opacity * progress);
        },
        [this, generation] {
            if (generation == formGeneration_)
                fadeAnimation_ = 0;
        });
}

void IslandWindowController::beginFormChange()
{
    ++formGeneration_;
    platform::Animator& animator = platform::current().animator();
    animator.cancel(fadeAnimation_);
    animator.cancel(compactFrameAnimation_);
    fadeAnimation_ = 0;
    compactFrameAnimation_ = 0;
}

void IslandWindowController::settleForHide()
{
    platform::Animator& animator = platform::current().animator();
    if (fadeAnimation_ != 0) {
        animator.cancel(fadeAnimation_);
        fadeAnimation_ = 0;
        if (fadeTarget_)
            fadeTarget_->setAlphaValue(preferences_.opacity());
    }
    if (compactFrameAnimation_ != 0) {
        animator.cancel(compactFrameAnimation_);
        compactFrameAnimation_ = 0;
        if (!isExpanded_)
            compactPanel_->setFrame(compactFrameTarget_);
    }
}

void IslandWindowController::collapseToCompactPanel()
{
    if (!window_ || !DisplayTopology::builtInScreen())
        return;
    if (onWillCollapse)
        onWillCollapse();
    if (settingsPopover_)
        settingsPopover_->dismiss();
    beginFormChange();
    isExpanded_ = false;
    isCompactHovered_ = false;
    moduleContent_->hide();
    compactTrigger_->setHovered(false);
    updateCompactPanel(false, false);
    compactPanel_->setAlphaValue(0);
    compactPanel_->orderFrontRegardless();
    window_->orderOut();
    fadeIn(*compactPanel_, 0.16);
}

void IslandWindowController::expandFromCompactPanel()
{
    if (!window_ || isExpanded_ || !DisplayTopology::builtInScreen())
        return;
    beginFormChange();
    isExpanded_ = true;
    isCompactHovered_ = false;
    compactPanel_->orderOut();
    moduleContent_->show();
    applyExpandedHeight();
    positionOnBuiltInScreen();
    window_->setLevel(preferences_.alwaysOnTop() ? platform::Window::floatingLevel : platform::Window::normalLevel);
    window_->setAlphaValue(0);
    window_->orderFrontRegardless();
    fadeIn(*window_, 0.18);
}

void IslandWindowController::updateCompactPanel(bool hovered, bool animated)
{
    const auto screen = DisplayTopology::builtInScreen();
    if (isExpanded_ || !screen)
        return;
    isCompactHovered_ = hovered;
    compactTrigger_->setHovered(hovered);
    compactHasShadow_ = hovered;
    // Idle, the trigger is a plain strip; hovered, a rounded shape with a shadow.
    compactPanel_->setShape(hovered ? platform::WindowShape{platform::WindowShape::Kind::roundedRectangle, 20}
                                    : platform::WindowShape{});
    compactPanel_->setHasShadow(hovered);
    const Rect target = geometry::compactPanelFrame(*screen, hovered);
    platform::Animator& animator = platform::current().animator();
    animator.cancel(compactFrameAnimation_);
    compactFrameAnimation_ = 0;
    if (!animated) {
        compactPanel_->setFrame(target);
        return;
    }
    const Rect from = compactPanel_->frame();
    const std::uint64_t generation = formGeneration_;
    compactFrameTarget_ = target;
    compactFrameAnimation_ = animator.start(
        hovered ? 0.18 : 0.14, platform::TimingCurve::easeInEaseOut,
        [this, from, target, generation](double t) {
            if (generation != formGeneration_ || isExpanded_)
                return;
            auto mix = [t](double a, double b) { return a + (b - a) * t; };
            compactPanel_->setFrame(Rect(mix(from.minX(), target.minX()), mix(from.minY(), target.minY()),
                                         mix(from.width(), target.width()), mix(from.height(), target.height())));
        },
        [this, generation] {
            if (generation == formGeneration_)
                compactFrameAnimation_ = 0;
        });
}

QMenu* IslandWindowController::contextMenu() const { return contextMenu_; }

void IslandWindowController::showContextMenu(const QPoint& globalPosition)
{
    if (!platform::hasCurrent() || !platform::current().applicationService)
        return;
    const auto items = platform::current().application().mainMenu();
    if (items.empty())
        return;
    if (contextMenu_)
        contextMenu_->close();
    // A child of the background takes the island's dark look; it goes when it closes.
    contextMenu_ = platform::makeMenu(items, backgroundView_);
    contextMenu_->setAttribute(Qt::WA_DeleteOnClose);
    contextMenu_->popup(globalPosition);
}

void IslandWindowController::showSettings(QWidget* sender)
{
    IslandModuleSettingsProviding* provider = nullptr;
    if (activeIndex_ < modules_.size())
        provider = dynamic_cast<IslandModuleSettingsProviding*>(modules_[activeIndex_].get());
    QWidget* extra = provider ? provider->makeIslandSettingsView() : nullptr;
    const platform::Size extraSize = provider ? provider->islandSettingsSize() : platform::Size{};

    auto* content = new WindowSettingsViewController(
        QStringLiteral("灵动岛设置"), QStringLiteral("可拖动空白背景移动主窗口，也可拖动边缘改变大小。"),
        preferences_.opacity(), preferences_.alwaysOnTop(), true, extra, extraSize);
    QPointer<IslandWindow> island(window_.get());
    content->onOpacityChanged = [this, island](double value) {
        if (!island)
            return;
        preferences_.setOpacity(value);
        island->setAlphaValue(value);
    };
    content->onAlwaysOnTopChanged = [this, island](bool onTop) {
        if (!island)
            return;
        preferences_.setAlwaysOnTop(onTop);
        island->setLevel(onTop ? platform::Window::floatingLevel : platform::Window::normalLevel);
    };

    // A replaced popover stays open until the speaker clicks elsewhere; closed ones go.
    std::erase_if(retiredPopovers_, [](const auto& popover) { return !popover->isShown(); });
    if (settingsPopover_)
        retiredPopovers_.push_back(std::move(settingsPopover_));
    settingsPopover_ = std::make_unique<platform::Popover>(content);
    settingsPopover_->setPalette(dark_colours::darkAppearance());
    if (sender)
        settingsPopover_->show(sender, platform::Popover::Edge::maxY);
}

} // namespace quorvia
