#include "platform/X11Sync.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>

namespace kelpie::X11Sync {

bool roundTrip()
{
    auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    auto* x11 = application ? application->nativeInterface<QNativeInterface::QX11Application>()
                            : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return false;
    // The cheapest request with a reply: its answer comes after all before it.
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    return true;
}

} // namespace kelpie::X11Sync
