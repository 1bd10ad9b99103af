#include "support/StackingWatch.h"

#include "platform/linux/dialogs/QtDialogService.h"
#include "support/EventWait.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace quorvia::test {

namespace {
int placeIn(const std::vector<std::uint32_t>& stack, std::uint32_t window)
{
    const auto at = std::find(stack.begin(), stack.end(), window);
    return at == stack.end() ? -1 : int(at - stack.begin());
}
} // namespace

StackingWatch::StackingWatch(const QString& display)
    : connection_(xcb_connect(display.toLocal8Bit().constData(), nullptr))
{
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    // Held, so nothing changes between the stack read and the first event.
    xcb_grab_server(connection_);
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
    stack_ = children();
    xcb_ungrab_server(connection_);
    xcb_flush(connection_);
}

StackingWatch::~StackingWatch() { xcb_disconnect(connection_); }

void StackingWatch::update()
{
    const auto remove = [this](std::uint32_t window) { std::erase(stack_, window); };
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
        switch (event->response_type & ~0x80) {
        case XCB_CREATE_NOTIFY:
            stack_.push_back(reinterpret_cast<xcb_create_notify_event_t*>(event)->window);
            break;
        case XCB_DESTROY_NOTIFY: remove(reinterpret_cast<xcb_destroy_notify_event_t*>(event)->window); break;
        case XCB_REPARENT_NOTIFY: {
            const auto* e = reinterpret_cast<xcb_reparent_notify_event_t*>(event);
            remove(e->window);
            if (e->parent == root_)
                stack_.push_back(e->window);
            break;
        }
        case XCB_CONFIGURE_NOTIFY: {
            const auto* e = reinterpret_cast<xcb_configure_notify_event_t*>(event);
            if (e->event != root_)
                break;
            remove(e->window);
            restacked_.push_back(e->window);
            const auto below = std::find(stack_.begin(), stack_.end(), e->above_sibling);
            stack_.insert(below == stack_.end() ? stack_.begin() : below + 1, e->window);
            break;
        }
        case XCB_CIRCULATE_NOTIFY: {
            const auto* e = reinterpret_cast<xcb_circulate_notify_event_t*>(event);
            remove(e->window);
            stack_.insert(e->place == XCB_PLACE_ON_TOP ? stack_.end() : stack_.begin(), e->window);
            break;
        }
        case XCB_MAP_NOTIFY: {
            const auto* e = reinterpret_cast<xcb_map_notify_event_t*>(event);
            if (e->event == root_)
                stackWhenMapped_.try_emplace(e->window, stack_);
            break;
        }
        default: break;
        }
        std::free(event);
    }
}

std::uint32_t StackingWatch::topLevelOf(std::uint32_t window) const
{
    while (window != 0) {
        std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> tree(
            xcb_query_tree_reply(connection_, xcb_query_tree(connection_, window), nullptr), &std::free);
        if (!tree)
            return 0;
        if (tree->parent == root_)
            return window;
        window = tree->parent;
    }
    return 0;
}

std::uint32_t StackingWatch::waitUntilMapped(std::uint32_t window)
{
    std::uint32_t topLevel = 0;
    waitUntil([&] {
        update();
        topLevel = topLevelOf(window);
        return topLevel && stackWhenMapped_.contains(topLevel);
    });
    return stackWhenMapped_.contains(topLevel) ? topLevel : 0;
}

bool StackingWatch::waitUntilRestacked(std::uint32_t topLevel)
{
    return waitUntil([&] {
        update();
        return std::ranges::count(restacked_, topLevel) > 0;
    });
}

int StackingWatch::placeWhenMapped(std::uint32_t mapped, std::uint32_t window) const
{
    const auto stack = stackWhenMapped_.find(mapped);
    return stack == stackWhenMapped_.end() ? -1 : placeIn(stack->second, window);
}

int StackingWatch::placeNow(std::uint32_t window) const { return placeIn(children(), window); }

std::vector<std::uint32_t> StackingWatch::children() const
{
    std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> tree(
        xcb_query_tree_reply(connection_, xcb_query_tree(connection_, root_), nullptr), &std::free);
    if (!tree)
        return {};
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    return {children, children + xcb_query_tree_children_length(tree.get())};
}

void StackingWatch::expectAnAlertBeneath(std::uint32_t mask)
{
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        const std::uint32_t alert = modal ? waitUntilMapped(std::uint32_t(modal->winId())) : 0;
        EXPECT_NE(alert, 0u) << "the alert never showed";
        EXPECT_GT(placeWhenMapped(alert, mask), placeWhenMapped(alert, alert)) << "mapped above the mask";
        // Made active, it must stay beneath.
        EXPECT_TRUE(waitUntil([&] { return modal && modal->isActiveWindow(); }));
        EXPECT_TRUE(waitUntil([&] { return placeNow(mask) > placeNow(alert); }));
        if (modal)
            modal->close();
    });
    platform::native::QtDialogService dialogs;
    platform::AlertRequest request;
    request.messageText = QStringLiteral("无法保存");
    request.buttons = {QStringLiteral("知道了")};
    EXPECT_EQ(dialogs.runAlert(request).buttonIndex, -1);
}

} // namespace quorvia::test
