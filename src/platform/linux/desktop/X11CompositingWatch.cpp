#include "platform/linux/desktop/X11CompositingWatch.h"

#include "platform/linux/desktop/XcbConnection.h"
#include "platform/linux/desktop/XcbExtension.h"

#include <QSocketNotifier>
#include <QtGui/qguiapplication_platform.h>

#include <X11/Xlib.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <cstdlib>

namespace quorvia::platform::native {

std::unique_ptr<X11CompositingWatch> X11CompositingWatch::make()
{
    if (!qtOnX11())
        return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->display())
        return nullptr;
    const auto screen = connectXcbScreen(QByteArray(DisplayString(x11->display())));
    if (!screen)
        return nullptr;
    std::unique_ptr<X11CompositingWatch> watch(new X11CompositingWatch);
    xcb_connection_t* c = watch->connection_ = screen->connection;
    const auto fixes = queryXcbExtension(c, &xcb_xfixes_id, [c] {
        return xcb_xfixes_query_version_reply(
            c, xcb_xfixes_query_version(c, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION), nullptr);
    });
    if (!fixes)
        return nullptr;
    watch->selectionNotify_ = fixes.data->first_event + XCB_XFIXES_SELECTION_NOTIFY;

    const QByteArray name = selectionName(DefaultScreen(x11->display()));
    const xcb_atom_t selection = internXcbAtom(c, name.constData());
    if (selection == XCB_ATOM_NONE)
        return nullptr;
    xcb_xfixes_select_selection_input(c, screen->screen->root, selection,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER
                                          | XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY
                                          | XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    xcb_flush(c);

    watch->events_ = new QSocketNotifier(xcb_get_file_descriptor(c), QSocketNotifier::Read, qGuiApp);
    X11CompositingWatch* raw = watch.get();
    QObject::connect(watch->events_, &QSocketNotifier::activated, watch->events_, [raw] { raw->readEvents(); });
    return watch;
}

QByteArray X11CompositingWatch::selectionName(int screen) { return "_NET_WM_CM_S" + QByteArray::number(screen); }

X11CompositingWatch::~X11CompositingWatch()
{
    delete events_.data();
    if (connection_)
        xcb_disconnect(connection_);
}

void X11CompositingWatch::readEvents()
{
    bool changed = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
        if ((event->response_type & 0x7f) == selectionNotify_)
            changed = true;
        std::free(event);
    }
    // A manager that quits and another that starts at once are one change:
    // whoever holds the selection now is what counts.
    if (changed && onChange)
        onChange();
}

} // namespace quorvia::platform::native
