#include "platform/linux/displays/RandrDisplayService.h"

#include "platform/core/NotificationCenter.h"
#include "platform/linux/displays/QtScreenResync.h"
#include "platform/linux/displays/QtScreenWatch.h"
#include "platform/linux/desktop/XcbConnection.h"
#include "platform/linux/desktop/XcbExtension.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSocketNotifier>

#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <cstdlib>

namespace quorvia::platform::native {

namespace {

std::vector<QtScreenInfo> qtScreens()
{
    std::vector<QtScreenInfo> result;
    for (QScreen* s : QGuiApplication::screens())
        result.push_back({s->name(), s->geometry(), s->availableGeometry(), s->devicePixelRatio()});
    return result;
}

} // namespace

RandrDisplayService::RandrDisplayService(const QByteArray& displayName)
{
    const auto opened = connectXcbScreen(displayName);
    if (!opened)
        return;
    xcb_connection_t* c = opened->connection;
    const auto randr = queryXcbExtension(
        c, &xcb_randr_id, [c] { return xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 3), nullptr); });
    // Primary outputs and cheap resource queries arrived in 1.3.
    if (!randr || (randr.version->major_version == 1 && randr.version->minor_version < 3)) {
        xcb_disconnect(c);
        return;
    }
    connection_ = c;
    root_ = opened->screen->root;
    firstEvent_ = randr.data->first_event;
    edidAtom_ = internXcbAtom(c, "EDID");

    xcb_randr_select_input(c, root_,
                           XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE | XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE
                               | XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE | XCB_RANDR_NOTIFY_MASK_OUTPUT_PROPERTY);
    xcb_flush(c);
    notifier_ = new QSocketNotifier(xcb_get_file_descriptor(c), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { readEvents(); });

    watchQtScreens(this, [this] { changed(); });
    if (qGuiApp) {
        new QtScreenResync(this);
        QtScreenResync::repairStaleScreens();
    }
}

RandrDisplayService::~RandrDisplayService()
{
    delete notifier_;
    if (connection_)
        xcb_disconnect(connection_);
}

void RandrDisplayService::changed()
{
    NotificationCenter::defaultCenter().post(screenParametersChangedNotification, static_cast<DisplayService*>(this));
}

bool RandrDisplayService::takeRandrEvents() const
{
    bool any = false;
    while (xcb_generic_event_t* event = xcb_poll_for_queued_event(connection_)) {
        const std::uint8_t type = event->response_type & 0x7F;
        any = any || type == firstEvent_ + XCB_RANDR_SCREEN_CHANGE_NOTIFY || type == firstEvent_ + XCB_RANDR_NOTIFY;
        std::free(event);
    }
    return any;
}

bool RandrDisplayService::changedSinceRead() const
{
    bool any = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
        const std::uint8_t type = event->response_type & 0x7F;
        any = any || type == firstEvent_ + XCB_RANDR_SCREEN_CHANGE_NOTIFY || type == firstEvent_ + XCB_RANDR_NOTIFY;
        std::free(event);
    }
    // Taken from under the socket notifier: announced from the event loop.
    if (any) {
        auto* self = const_cast<RandrDisplayService*>(this);
        QMetaObject::invokeMethod(self, [self] { self->changed(); }, Qt::QueuedConnection);
    }
    return any;
}

void RandrDisplayService::readEvents()
{
    table_.reset();
    bool any = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
        const std::uint8_t type = event->response_type & 0x7F;
        any = any || type == firstEvent_ + XCB_RANDR_SCREEN_CHANGE_NOTIFY || type == firstEvent_ + XCB_RANDR_NOTIFY;
        std::free(event);
    }
    if (xcb_connection_has_error(connection_))
        notifier_->setEnabled(false);
    if (any)
        changed();
}

std::optional<RandrTable> RandrDisplayService::readTable() const
{
    if (!connection_ || xcb_connection_has_error(connection_))
        return std::nullopt;
    if (changedSinceRead())
        table_.reset();
    if (table_)
        return table_;
    ++reads_;
    xcb_connection_t* c = connection_;
    auto resources = xcbReply(xcb_randr_get_screen_resources_current_reply(
        c, xcb_randr_get_screen_resources_current(c, root_), nullptr));
    auto primary = xcbReply(xcb_randr_get_output_primary_reply(c, xcb_randr_get_output_primary(c, root_), nullptr));
    if (!resources || !primary)
        return std::nullopt;
    const xcb_timestamp_t stamp = resources->config_timestamp;

    RandrTable table;
    table.primaryOutput = primary->output;

    const xcb_randr_crtc_t* crtcs = xcb_randr_get_screen_resources_current_crtcs(resources.get());
    const int crtcCount = xcb_randr_get_screen_resources_current_crtcs_length(resources.get());
    std::vector<xcb_randr_get_crtc_info_cookie_t> crtcCookies;
    for (int i = 0; i < crtcCount; ++i)
        crtcCookies.push_back(xcb_randr_get_crtc_info(c, crtcs[i], stamp));

    const xcb_randr_output_t* outputs = xcb_randr_get_screen_resources_current_outputs(resources.get());
    const int outputCount = xcb_randr_get_screen_resources_current_outputs_length(resources.get());
    std::vector<xcb_randr_get_output_info_cookie_t> outputCookies;
    std::vector<xcb_randr_get_output_property_cookie_t> edidCookies;
    for (int i = 0; i < outputCount; ++i) {
        outputCookies.push_back(xcb_randr_get_output_info(c, outputs[i], stamp));
        // 128 longs hold a base block and its extensions.
        edidCookies.push_back(
            xcb_randr_get_output_property(c, outputs[i], edidAtom_, XCB_ATOM_ANY, 0, 128, false, false));
    }

    for (int i = 0; i < crtcCount; ++i) {
        auto info = xcbReply(xcb_randr_get_crtc_info_reply(c, crtcCookies[std::size_t(i)], nullptr));
        if (!info)
            continue;
        RandrCrtc crtc{crtcs[i], {}};
        if (info->mode != XCB_NONE)
            crtc.area = QRect(info->x, info->y, info->width, info->height);
        table.crtcs.push_back(crtc);
    }
    for (int i = 0; i < outputCount; ++i) {
        auto info = xcbReply(xcb_randr_get_output_info_reply(c, outputCookies[std::size_t(i)], nullptr));
        auto edid = xcbReply(xcb_randr_get_output_property_reply(c, edidCookies[std::size_t(i)], nullptr));
        if (!info)
            continue;
        RandrOutput output;
        output.id = outputs[i];
        output.name = QString::fromUtf8(reinterpret_cast<const char*>(xcb_randr_get_output_info_name(info.get())),
                                        xcb_randr_get_output_info_name_length(info.get()));
        output.connection = info->connection == XCB_RANDR_CONNECTION_CONNECTED ? RandrConnection::connected
            : info->connection == XCB_RANDR_CONNECTION_DISCONNECTED            ? RandrConnection::disconnected
                                                                              : RandrConnection::unknown;
        output.crtc = info->crtc;
        if (edid && edid->format == 8) {
            output.edid = QByteArray(reinterpret_cast<const char*>(xcb_randr_get_output_property_data(edid.get())),
                                     xcb_randr_get_output_property_data_length(edid.get()));
        }
        table.outputs.push_back(output);
    }
    // Events read while waiting for the replies are not seen by the socket
    // notifier any more; announce them from the event loop.
    if (takeRandrEvents()) {
        auto* self = const_cast<RandrDisplayService*>(this);
        QMetaObject::invokeMethod(self, [self] { self->changed(); }, Qt::QueuedConnection);
        return table;
    }
    table_ = table;
    return table;
}

std::vector<Screen> RandrDisplayService::screens() const
{
    const auto table = readTable();
    if (!table)
        return {};
    return decideScreens(*table, qtScreens(), audienceDisplay());
}

std::optional<Point> RandrDisplayService::globalOrigin() const
{
    const auto table = readTable();
    if (!table)
        return std::nullopt;
    const QPoint origin = native::globalOrigin(*table);
    return Point{double(origin.x()), double(origin.y())};
}

std::optional<Screen> RandrDisplayService::mainScreen() const
{
    return screenOfFocusedWindow(*this);
}

} // namespace quorvia::platform::native
