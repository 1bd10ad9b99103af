#include "platform/linux/desktop/X11FrameGuard.h"

#include "platform/linux/desktop/XcbConnection.h"
#include "platform/linux/desktop/XcbExtension.h"

#include <xcb/randr.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

namespace quorvia::platform::native {

namespace {

Rect toRect(const QRect& r) { return Rect(r.x(), r.y(), r.width(), r.height()); }

QRect toQRect(const Rect& r)
{
    return QRect(int(std::lround(r.minX())), int(std::lround(r.minY())), int(std::lround(r.width())),
                 int(std::lround(r.height())));
}

// Where `rule` keeps `frame`, come from `former`, inside `area`; all in root pixels.
QRect kept(FrameRule rule, const QRect& frame, const QRect& former, const QRect& area)
{
    return toQRect(rule(toRect(frame), toRect(former), toRect(area)));
}

// A window manager that will not let go of a frame past the area would
// otherwise be answered for ever.
constexpr int answersASecond = 240;

} // namespace

std::unique_ptr<X11FrameGuard> X11FrameGuard::start()
{
    auto connection = connectXcbScreen(QByteArray());
    if (!connection)
        return nullptr;
    std::unique_ptr<X11FrameGuard> guard(new X11FrameGuard(connection->connection, connection->screen->root));
    if (!guard->select())
        return nullptr;
    guard->events_.start([g = guard.get()](const xcb_generic_event_t* event) { g->handle(event); });
    return guard;
}

X11FrameGuard::X11FrameGuard(xcb_connection_t* c, xcb_window_t root)
    : c_(c), root_(root), events_(c)
{
}

X11FrameGuard::~X11FrameGuard()
{
    events_.stop();
    xcb_disconnect(c_);
}

bool X11FrameGuard::select()
{
    const auto randr = queryXcbExtension(
        c_, &xcb_randr_id, [this] { return xcb_randr_query_version_reply(c_, xcb_randr_query_version(c_, 1, 2), nullptr); });
    if (!events_.isReady() || !randr)
        return false;
    randrEvent_ = randr.data->first_event;
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c_, root_, XCB_CW_EVENT_MASK, &mask);
    xcb_randr_select_input(c_, root_,
                           XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE | XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE
                               | XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE);
    // Read after the selection: no move of an output is missed.
    readOutputs();
    return true;
}

void X11FrameGuard::readOutputs()
{
    outputs_.clear();
    const auto resources = xcbReply(xcb_randr_get_screen_resources_current_reply(
        c_, xcb_randr_get_screen_resources_current(c_, root_), nullptr));
    if (!resources)
        return;
    const xcb_randr_output_t* ids = xcb_randr_get_screen_resources_current_outputs(resources.get());
    const int count = xcb_randr_get_screen_resources_current_outputs_length(resources.get());
    for (int i = 0; i < count; ++i) {
        const auto output = xcbReply(xcb_randr_get_output_info_reply(
            c_, xcb_randr_get_output_info(c_, ids[i], resources->config_timestamp), nullptr));
        if (!output || output->crtc == XCB_NONE)
            continue;
        const auto crtc = xcbReply(xcb_randr_get_crtc_info_reply(
            c_, xcb_randr_get_crtc_info(c_, output->crtc, resources->config_timestamp), nullptr));
        if (crtc && crtc->width && crtc->height)
            outputs_[ids[i]] = QRect(crtc->x, crtc->y, crtc->width, crtc->height);
    }
}

void X11FrameGuard::keepInside(xcb_window_t client, const std::optional<KeptArea>& area, FrameRule rule)
{
    std::lock_guard lock(mutex_);
    if (!area || !rule) {
        bounds_.erase(client);
        return;
    }
    auto [it, added] = bounds_.try_emplace(client);
    it->second.kept = *area;
    it->second.rule = rule;
    if (added)
        clientsChanged_ = true;
}

void X11FrameGuard::asking(xcb_window_t client, const QRect& outer)
{
    // Enough for the asks a window manager busy for a moment still has to carry out.
    constexpr std::size_t most = 8;
    std::lock_guard lock(mutex_);
    const auto it = bounds_.find(client);
    if (it == bounds_.end())
        return;
    auto& asks = it->second.asks;
    if (asks.size() == most)
        asks.erase(asks.begin());
    asks.push_back(outer);
}

void X11FrameGuard::handle(const xcb_generic_event_t* event)
{
    const std::uint8_t type = event->response_type & ~0x80;
    if (type == XCB_CONFIGURE_NOTIFY) {
        const auto* configure = reinterpret_cast<const xcb_configure_notify_event_t*>(event);
        if (configure->event != root_)
            return;
        const int border = 2 * configure->border_width;
        stepped(configure->window, QRect(configure->x, configure->y, configure->width + border, configure->height + border));
        return;
    }
    if (type == XCB_MAP_NOTIFY) {
        const auto* map = reinterpret_cast<const xcb_map_notify_event_t*>(event);
        if (map->event == root_)
            mapped_.insert(map->window);
        clientsChanged_ = true;
        return;
    }
    if (type == XCB_UNMAP_NOTIFY || type == XCB_DESTROY_NOTIFY) {
        // Unmap and destroy notices name the window in the same place.
        const auto* unmap = reinterpret_cast<const xcb_unmap_notify_event_t*>(event);
        if (unmap->event == root_)
            mapped_.erase(unmap->window);
        return;
    }
    if (type == XCB_REPARENT_NOTIFY) {
        // A client taken into a frame, or out of it: its top-level is found anew.
        clientsChanged_ = true;
        return;
    }
    if (type == randrEvent_ + XCB_RANDR_SCREEN_CHANGE_NOTIFY || type == randrEvent_ + XCB_RANDR_NOTIFY)
        readOutputs();
}

void X11FrameGuard::stepped(xcb_window_t topLevel, const QRect& outer)
{
    // A frame the window manager is still making stands a pixel wide at the root's corner.
    if (outer.width() <= 1 || outer.height() <= 1)
        return;
    if (clientsChanged_.exchange(false))
        findTopLevels();
    xcb_window_t client = XCB_NONE;
    QRect former, area;
    FrameRule rule = nullptr;
    std::vector<QRect> asks;
    bool late = false;
    {
        std::lock_guard lock(mutex_);
        for (auto& [id, bound] : bounds_) {
            if (bound.topLevel != topLevel)
                continue;
            former = bound.lastSeen.isValid() ? bound.lastSeen : outer;
            bound.lastSeen = outer;
            if (!bound.rule || !mapped_.contains(topLevel))
                return;
            // Read before the display moved: the program's placing answers this.
            if (const auto it = outputs_.find(bound.kept.display);
                bound.kept.display && (it == outputs_.end() || it->second != bound.kept.displayRect))
                return;
            const auto now = std::chrono::steady_clock::now();
            // Our answer carried out over the program's newer ask, which stood
            // already: a window manager late with it lets it undo the placing.
            late = outer == bound.answered && now - bound.answeredAt < std::chrono::seconds(1) && !bound.asks.empty()
                && former == bound.asks.back() && former != outer;
            if (!late && kept(bound.rule, outer, former, bound.kept.area) == outer)
                return;
            if (now - bound.countedFrom > std::chrono::seconds(1))
                bound.countedFrom = now, bound.answersCounted = 0;
            if (++bound.answersCounted > answersASecond)
                return;
            client = id, rule = bound.rule, area = bound.kept.area, asks = bound.asks;
            break;
        }
    }
    if (client != XCB_NONE)
        ask(client, topLevel, Step{outer, former, late}, rule, area, asks);
}

xcb_window_t X11FrameGuard::topLevelOf(xcb_window_t window)
{
    for (int depth = 0; depth < 8 && window != XCB_NONE; ++depth) {
        const auto tree = xcbReply(xcb_query_tree_reply(c_, xcb_query_tree(c_, window), nullptr));
        if (!tree)
            return XCB_NONE;
        if (tree->parent == root_)
            return window;
        window = tree->parent;
    }
    return XCB_NONE;
}

void X11FrameGuard::findTopLevels()
{
    std::vector<xcb_window_t> clients;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [id, bound] : bounds_)
            clients.push_back(id);
    }
    std::vector<std::pair<xcb_window_t, QRect>> found;
    for (xcb_window_t client : clients) {
        const xcb_window_t top = topLevelOf(client);
        QRect seen;
        if (const auto attributes = xcbReply(
                xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, top), nullptr));
            attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE)
            mapped_.insert(top);
        if (const auto geometry = xcbReply(xcb_get_geometry_reply(c_, xcb_get_geometry(c_, top), nullptr)))
            seen = QRect(geometry->x, geometry->y, geometry->width + 2 * geometry->border_width,
                         geometry->height + 2 * geometry->border_width);
        found.emplace_back(top, seen);
    }
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < clients.size(); ++i) {
        const auto it = bounds_.find(clients[i]);
        if (it == bounds_.end())
            continue;
        if (it->second.topLevel != found[i].first)
            it->second.lastSeen = found[i].second;
        it->second.topLevel = found[i].first;
    }
}

void X11FrameGuard::ask(xcb_window_t client, xcb_window_t topLevel, const Step& step, FrameRule rule, const QRect& area,
                        const std::vector<QRect>& asks)
{
    const auto geometry = xcbReply(xcb_get_geometry_reply(c_, xcb_get_geometry(c_, client), nullptr));
    XcbReply<xcb_get_geometry_reply_t> top(nullptr, std::free);
    if (client != topLevel)
        top = xcbReply(xcb_get_geometry_reply(c_, xcb_get_geometry(c_, topLevel), nullptr));
    if (!geometry || (client != topLevel && !top))
        return;
    // Read late, the step may be one the frame has left since: the program's
    // placing, asked after it, may have moved it back inside, which answering
    // the step would undo. The frame as it stands now is the one answered.
    const auto& frame = top ? *top : *geometry;
    const int width = frame.width + 2 * frame.border_width, height = frame.height + 2 * frame.border_width;
    const QRect now(frame.x, frame.y, width, height);
    QRect outer = kept(rule, now, now == step.outer ? step.former : step.outer, area);
    // A window manager busy over a change carries out our asks for the old
    // arrangement, or our own answer, late: the newest ask, asked again, comes
    // after them. Only an ask now past the area counts: inside, it may be the
    // window manager's own frame, which the program asks again as it follows a drag.
    const bool overtaken = step.late ? now == step.outer : outer != now && std::ranges::find(asks, now) != asks.end();
    const bool newestStands = !asks.empty() && now != asks.back() && kept(rule, asks.back(), asks.back(), area) == asks.back();
    if (overtaken && newestStands)
        outer = asks.back();
    else if (step.late)
        return;
    if (outer == now)
        return;
    const bool resize = outer.size() != now.size();
    const int border = 2 * geometry->border_width;
    QMargins decorations;
    if (top) {
        const auto at = xcbReply(
            xcb_translate_coordinates_reply(c_, xcb_translate_coordinates(c_, client, topLevel, 0, 0), nullptr));
        if (!at)
            return;
        decorations = QMargins(at->dst_x, at->dst_y, width - at->dst_x - geometry->width,
                               height - at->dst_y - geometry->height);
    }
    const QRect inner = outer.marginsRemoved(decorations);
    QPoint origin = outer.topLeft();
    // A managed client asks by its own corner under static gravity, by its frame's otherwise.
    if (client != topLevel) {
        // WM_NORMAL_HINTS: flags first, the gravity eighteenth, flagged by bit 9.
        const auto hints = xcbReply(xcb_get_property_reply(
            c_, xcb_get_property(c_, 0, client, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 0, 18), nullptr));
        if (hints && hints->format == 32 && xcb_get_property_value_length(hints.get()) >= 18 * 4) {
            const auto* words = static_cast<const std::uint32_t*>(xcb_get_property_value(hints.get()));
            if ((words[0] & (1u << 9)) && words[17] == XCB_GRAVITY_STATIC)
                origin = inner.topLeft();
        }
    }
    const std::uint32_t values[] = {std::uint32_t(origin.x()), std::uint32_t(origin.y()),
                                    std::uint32_t(std::max(1, inner.width() - border)),
                                    std::uint32_t(std::max(1, inner.height() - border))};
    // A move leaves the size alone.
    xcb_configure_window(c_, client,
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y
                             | (resize ? XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT : 0),
                         values);
    xcb_flush(c_);
    ++answers_;
    std::lock_guard lock(mutex_);
    if (const auto it = bounds_.find(client); it != bounds_.end())
        it->second.answered = outer, it->second.answeredAt = std::chrono::steady_clock::now();
}

} // namespace quorvia::platform::native
