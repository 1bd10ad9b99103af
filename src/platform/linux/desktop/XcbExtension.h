#pragma once

#include "platform/linux/desktop/XcbConnection.h"

#include <xcb/xcb.h>

#include <type_traits>

namespace quorvia::platform::native {

// An extension as the server offers it: its opcode and first event, and the
// version it answered; nothing when it lacks the extension.
template <typename Version> struct XcbExtension {
    const xcb_query_extension_reply_t* data = nullptr;
    XcbReply<Version> version{nullptr, &std::free};
    explicit operator bool() const { return version != nullptr; }
};

// libxcb closes the whole connection on a request that names an extension
// the server lacks, so an extension's version is asked for only here, once
// the server has said it has it. askVersion sends the version request and
// returns its reply.
template <typename AskVersion>
auto queryXcbExtension(xcb_connection_t* c, xcb_extension_t* extension, AskVersion&& askVersion)
{
    XcbExtension<std::remove_pointer_t<decltype(askVersion())>> answer;
    const xcb_query_extension_reply_t* data = xcb_get_extension_data(c, extension);
    if (!data || !data->present)
        return answer;
    answer.version = xcbReply(askVersion());
    if (answer.version)
        answer.data = data;
    return answer;
}

} // namespace quorvia::platform::native
