#include "support/ConfigureWatch.h"

#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace quorvia::test {

namespace {

template <typename T>
std::unique_ptr<T, decltype(&std::free)> hold(T* reply)
{
    return {reply, &std::free};
}

std::uint32_t internAtom(xcb_connection_t* c, const char* name)
{
    auto reply = hold(xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr));
    return reply ? reply->atom : 0;
}

QRect outerOf(std::int16_t x, std::int16_t y, std::uint16_t width, std::uint16_t height, std::uint16_t border)
{
    return {x, y, width + 2 * border, height + 2 * border};
}

} // namespace

QString ConfigureWatch::Stay::said() const
{
    const auto at = [](const QRect& r) { return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()); };
    return QStringLiteral("%1 at %2 for %3 ms%4%5%6").arg(name.isEmpty() ? QString::number(window) : name, at(rect)).arg(ms())
        .arg(staying ? QStringLiteral(" and on") : QString())
        .arg(moves > 1 ? QStringLiteral(" (%1 moves over %2)").arg(moves).arg(at(reach)) : QString())
        .arg(!moved ? QStringLiteral(" (the screen came under it)") : nearChange ? QStringLiteral(" (moved there as the displays changed)") : QString());
}

ConfigureWatch::ConfigureWatch(const QString& display, std::int64_t pid)
    : connection_(xcb_connect(display.toLocal8Bit().constData(), nullptr)), pid_(pid)
{
    if (xcb_connection_has_error(connection_))
        return;
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    pidAtom_ = internAtom(connection_, "_NET_WM_PID");
    nameAtom_ = internAtom(connection_, "_NET_WM_NAME");
    utf8Atom_ = internAtom(connection_, "UTF8_STRING");
    if (const auto* randr = xcb_get_extension_data(connection_, &xcb_randr_id); randr && randr->present)
        randrEvent_ = randr->first_event;
    // Held, so nothing changes between what is read and the first event.
    xcb_grab_server(connection_);
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
    if (randrEvent_)
        xcb_randr_select_input(connection_, root_, XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE | XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE | XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE);
    const auto now = Clock::now();
    if (auto tree = hold(xcb_query_tree_reply(connection_, xcb_query_tree(connection_, root_), nullptr))) {
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            auto attributes = hold(xcb_get_window_attributes_reply(connection_, xcb_get_window_attributes(connection_, children[i]), nullptr));
            auto geometry = hold(xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, children[i]), nullptr));
            if (!attributes || !geometry)
                continue;
            Top& top = tops_[children[i]];
            top.rect = outerOf(geometry->x, geometry->y, geometry->width, geometry->height, geometry->border_width);
            top.mapped = attributes->map_state != XCB_MAP_STATE_UNMAPPED;
            if (top.mapped)
                findOurs(children[i]), note(children[i], now, false);
        }
    }
    readOutputs();
    xcb_ungrab_server(connection_);
    xcb_flush(connection_);
    started_ = now;
    wake_ = eventfd(0, EFD_CLOEXEC);
    thread_ = std::thread([this] { run(); });
}

ConfigureWatch::~ConfigureWatch()
{
    if (thread_.joinable()) {
        {
            std::lock_guard lock(syncMutex_);
            quit_ = true;
        }
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(wake_, &one, sizeof one);
        thread_.join();
    }
    if (wake_ >= 0)
        ::close(wake_);
    xcb_disconnect(connection_);
}

void ConfigureWatch::run()
{
    pollfd fds[2] = {{xcb_get_file_descriptor(connection_), POLLIN, 0}, {wake_, POLLIN, 0}};
    for (;;) {
        ::poll(fds, 2, -1);
        std::uint64_t asked = 0;
        bool quit = false;
        if (fds[1].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] const auto read = ::read(wake_, &count, sizeof count);
            std::lock_guard lock(syncMutex_);
            asked = syncsAsked_, quit = quit_;
        }
        if (quit || xcb_connection_has_error(connection_))
            break;
        // Whatever the server sent before this answer is in hand once it comes.
        if (asked)
            std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
            handle(event, Clock::now());
            std::free(event);
        }
        if (asked) {
            std::lock_guard lock(syncMutex_);
            syncsDone_ = asked;
            synced_.notify_all();
        }
    }
    std::lock_guard lock(syncMutex_);
    syncsDone_ = ~std::uint64_t(0);
    synced_.notify_all();
}

void ConfigureWatch::handle(const void* raw, Clock::time_point at)
{
    const auto* event = static_cast<const xcb_generic_event_t*>(raw);
    const std::uint8_t type = event->response_type & 0x7f;
    std::lock_guard lock(mutex_);
    if (randrEvent_ && type == randrEvent_ + XCB_RANDR_SCREEN_CHANGE_NOTIFY) {
        changes_.push_back(at);
        return;
    }
    if (randrEvent_ && type == randrEvent_ + XCB_RANDR_NOTIFY) {
        const auto* e = static_cast<const xcb_randr_notify_event_t*>(raw);
        if (e->subCode == XCB_RANDR_NOTIFY_CRTC_CHANGE) {
            const auto& c = e->u.cc;
            crtcRect_[c.crtc] = c.mode ? QRect(c.x, c.y, c.width, c.height) : QRect();
        } else if (e->subCode == XCB_RANDR_NOTIFY_OUTPUT_CHANGE) {
            crtcOf_[e->u.oc.output] = e->u.oc.crtc;
        } else {
            return;
        }
        changes_.push_back(at);
        for (const auto& [name, id] : outputIds_) {
            const auto crtc = crtcOf_.find(id);
            const QRect now = crtc == crtcOf_.end() || !crtcRect_.contains(crtc->second) ? QRect() : crtcRect_[crtc->second];
            auto& rects = outputRects_[id];
            if (rects.empty() || rects.back().second != now)
                rects.emplace_back(at, now);
        }
        return;
    }
    switch (type) {
    case XCB_CREATE_NOTIFY: {
        const auto* e = static_cast<const xcb_create_notify_event_t*>(raw);
        if (e->parent == root_)
            tops_[e->window] = Top{false, outerOf(e->x, e->y, e->width, e->height, e->border_width), 0, {}};
        break;
    }
    case XCB_DESTROY_NOTIFY: {
        const auto* e = static_cast<const xcb_destroy_notify_event_t*>(raw);
        if (e->event == root_ && tops_.contains(e->window)) {
            tops_[e->window].mapped = false;
            note(e->window, at);
            tops_.erase(e->window);
        }
        break;
    }
    case XCB_REPARENT_NOTIFY: {
        const auto* e = static_cast<const xcb_reparent_notify_event_t*>(raw);
        if (e->event != root_)
            break;
        if (e->parent != root_) {
            if (tops_.contains(e->window)) {
                tops_[e->window].mapped = false;
                note(e->window, at);
                tops_.erase(e->window);
            }
            break;
        }
        auto geometry = hold(xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, e->window), nullptr));
        auto attributes = hold(xcb_get_window_attributes_reply(connection_, xcb_get_window_attributes(connection_, e->window), nullptr));
        Top& top = tops_[e->window];
        top.rect = geometry ? outerOf(e->x, e->y, geometry->width, geometry->height, geometry->border_width) : QRect(e->x, e->y, 1, 1);
        top.mapped = attributes && attributes->map_state != XCB_MAP_STATE_UNMAPPED;
        if (top.mapped)
            findOurs(e->window), note(e->window, at);
        break;
    }
    case XCB_CONFIGURE_NOTIFY: {
        const auto* e = static_cast<const xcb_configure_notify_event_t*>(raw);
        if (e->event != root_ || !tops_.contains(e->window))
            break;
        tops_[e->window].rect = outerOf(e->x, e->y, e->width, e->height, e->border_width);
        note(e->window, at);
        break;
    }
    case XCB_MAP_NOTIFY: {
        const auto* e = static_cast<const xcb_map_notify_event_t*>(raw);
        if (e->event != root_ || !tops_.contains(e->window))
            break;
        tops_[e->window].mapped = true;
        findOurs(e->window);
        note(e->window, at);
        break;
    }
    case XCB_UNMAP_NOTIFY: {
        const auto* e = static_cast<const xcb_unmap_notify_event_t*>(raw);
        if (e->event != root_ || !tops_.contains(e->window))
            break;
        tops_[e->window].mapped = false;
        note(e->window, at);
        break;
    }
    default: break;
    }
}

void ConfigureWatch::findOurs(std::uint32_t top)
{
    const auto isOurs = [this](xcb_window_t w) {
        auto pid = hold(xcb_get_property_reply(connection_, xcb_get_property(connection_, 0, w, pidAtom_, XCB_ATOM_CARDINAL, 0, 1), nullptr));
        return pid && xcb_get_property_value_length(pid.get()) == 4 && *static_cast<std::uint32_t*>(xcb_get_property_value(pid.get())) == pid_;
    };
    Top& t = tops_[top];
    t.ours = 0;
    if (isOurs(top)) {
        t.ours = top;
    } else if (auto inside = hold(xcb_query_tree_reply(connection_, xcb_query_tree(connection_, top), nullptr))) {
        const xcb_window_t* clients = xcb_query_tree_children(inside.get());
        for (int i = 0; i < xcb_query_tree_children_length(inside.get()) && !t.ours; ++i)
            if (isOurs(clients[i]))
                t.ours = clients[i];
    }
    if (!t.ours)
        return;
    auto name = hold(xcb_get_property_reply(connection_, xcb_get_property(connection_, 0, t.ours, nameAtom_, utf8Atom_, 0, 256), nullptr));
    t.name = name ? QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(name.get())), xcb_get_property_value_length(name.get())) : QString();
}

void ConfigureWatch::note(std::uint32_t top, Clock::time_point at, bool byEvent)
{
    const Top& t = tops_[top];
    if (t.ours)
        samples_.push_back({at, top, t.ours, t.name, t.mapped, t.rect, byEvent});
}

void ConfigureWatch::readOutputs()
{
    if (!randrEvent_)
        return;
    auto resources = hold(xcb_randr_get_screen_resources_current_reply(connection_, xcb_randr_get_screen_resources_current(connection_, root_), nullptr));
    if (!resources)
        return;
    const auto now = Clock::now();
    const xcb_randr_output_t* outputs = xcb_randr_get_screen_resources_current_outputs(resources.get());
    for (int i = 0; i < xcb_randr_get_screen_resources_current_outputs_length(resources.get()); ++i) {
        auto info = hold(xcb_randr_get_output_info_reply(connection_, xcb_randr_get_output_info(connection_, outputs[i], resources->config_timestamp), nullptr));
        if (!info)
            continue;
        const QString name = QString::fromUtf8(reinterpret_cast<const char*>(xcb_randr_get_output_info_name(info.get())), xcb_randr_get_output_info_name_length(info.get()));
        outputIds_[name] = outputs[i];
        crtcOf_[outputs[i]] = info->crtc;
        QRect rect;
        if (info->crtc)
            if (auto crtc = hold(xcb_randr_get_crtc_info_reply(connection_, xcb_randr_get_crtc_info(connection_, info->crtc, resources->config_timestamp), nullptr)); crtc && crtc->mode)
                rect = crtcRect_[info->crtc] = QRect(crtc->x, crtc->y, crtc->width, crtc->height);
        outputRects_[outputs[i]].emplace_back(now, rect);
    }
}

void ConfigureWatch::sync()
{
    if (!thread_.joinable())
        return;
    std::unique_lock lock(syncMutex_);
    const std::uint64_t asked = ++syncsAsked_;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(wake_, &one, sizeof one);
    synced_.wait(lock, [&] { return syncsDone_ >= asked; });
}

void ConfigureWatch::start()
{
    sync();
    std::lock_guard lock(mutex_);
    started_ = Clock::now();
    stopped_.reset();
    samples_.clear();
    changes_.clear();
    for (auto& [id, rects] : outputRects_)
        rects.erase(rects.begin(), std::max(rects.begin(), rects.end() - 1));
    for (const auto& [top, t] : tops_)
        if (t.mapped)
            note(top, started_, false);
}

void ConfigureWatch::stop()
{
    sync();
    std::lock_guard lock(mutex_);
    stopped_ = Clock::now();
}

void ConfigureWatch::managerCatchesUp()
{
    std::lock_guard lock(mutex_);
    changes_.push_back(Clock::now());
}

std::vector<ConfigureWatch::Clock::time_point> ConfigureWatch::changes() const
{
    std::lock_guard lock(mutex_);
    return changes_;
}

std::vector<QRect> ConfigureWatch::placesOf(std::uint32_t window) const
{
    std::lock_guard lock(mutex_);
    std::vector<QRect> places;
    for (const Sample& s : samples_)
        if (s.ours == window && (places.empty() || places.back() != s.rect))
            places.push_back(s.rect);
    return places;
}

std::vector<ConfigureWatch::Stay> ConfigureWatch::stays(const QRect& area) const
{
    std::lock_guard lock(mutex_);
    return replay([&](Clock::time_point) { return area; }, {});
}

std::vector<ConfigureWatch::Stay> ConfigureWatch::staysOn(const QString& output) const
{
    std::lock_guard lock(mutex_);
    const auto id = outputIds_.find(output);
    if (id == outputIds_.end() || !outputRects_.contains(id->second))
        return {};
    const auto& rects = outputRects_.at(id->second);
    std::vector<Clock::time_point> moves;
    for (const auto& [at, rect] : rects)
        moves.push_back(at);
    return replay(
        [&](Clock::time_point t) {
            QRect now;
            for (const auto& [at, rect] : rects)
                if (at <= t)
                    now = rect;
            return now;
        },
        moves);
}

std::vector<ConfigureWatch::Stay> ConfigureWatch::replay(const std::function<QRect(Clock::time_point)>& areaAt,
                                                         const std::vector<Clock::time_point>& areaMoves) const
{
    const Clock::time_point end = stopped_.value_or(Clock::now());
    std::vector<Stay> done;
    std::map<std::uint32_t, Sample> now; // by the root's child
    std::map<std::uint32_t, Stay> open;
    QRect area = areaAt(started_);
    const auto judge = [&](std::uint32_t top, Clock::time_point at, bool moved, bool changed = false) {
        const Sample& s = now[top];
        const bool on = s.mapped && !area.isEmpty() && area.intersects(s.rect);
        const auto it = open.find(top);
        if (on && it == open.end()) {
            Stay stay;
            stay.window = s.ours, stay.name = s.name, stay.rect = stay.reach = s.rect, stay.start = at, stay.moved = moved && at > started_;
            stay.nearChange = std::ranges::any_of(changes_, [&](Clock::time_point c) { return c <= at && at - c <= nearChange; });
            stay.moves = stay.moved ? 1 : 0;
            open.emplace(top, stay);
        } else if (on) {
            it->second.moves += moved && changed;
            it->second.reach |= s.rect;
        } else if (it != open.end()) {
            it->second.end = at;
            done.push_back(it->second);
            open.erase(it);
        }
    };
    auto move = std::ranges::lower_bound(areaMoves, started_);
    for (const Sample& s : samples_) {
        if (s.at > end)
            break;
        for (; move != areaMoves.end() && *move <= s.at; ++move) {
            area = areaAt(*move);
            for (const auto& [top, _] : now)
                judge(top, std::max(*move, started_), false);
        }
        const bool changed = !now.contains(s.top) || now[s.top].rect != s.rect || now[s.top].mapped != s.mapped;
        now[s.top] = s;
        judge(s.top, s.at, s.byEvent, changed);
    }
    for (; move != areaMoves.end() && *move <= end; ++move) {
        area = areaAt(*move);
        for (const auto& [top, _] : now)
            judge(top, std::max(*move, started_), false);
    }
    for (auto& [top, stay] : open)
        stay.end = end, stay.staying = true, done.push_back(stay);
    std::ranges::sort(done, {}, &Stay::start);
    return done;
}

} // namespace quorvia::test
