#include "platform/X11Monitor.h"

#include "platform/XcbSession.h"

#include <QScreen>

#include <xcb/randr.h>

#include <cmath>

namespace kelpie {

std::vector<X11Monitor> X11Monitor::list(const XcbSession& session)
{
    std::vector<X11Monitor> monitors;
    if (!session.hasMonitors())
        return monitors;
    xcb_connection_t* c = session.connection();
    XcbPtr<xcb_randr_get_monitors_reply_t> reply(
        xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, session.root(), 1), nullptr));
    if (!reply)
        return monitors;

    std::vector<xcb_get_atom_name_cookie_t> names;
    for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem;
         xcb_randr_monitor_info_next(&it)) {
        const xcb_randr_monitor_info_t* info = it.data;
        X11Monitor monitor;
        if (info->nOutput > 0)
            monitor.displayNumber = xcb_randr_monitor_info_outputs(info)[0];
        else
            monitor.displayNumber = 0x8000'0000u | info->name;
        monitor.nativeFrame = Rect(info->x, info->y, info->width, info->height);
        monitors.push_back(monitor);
        names.push_back(xcb_get_atom_name(c, info->name));
    }
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        XcbPtr<xcb_get_atom_name_reply_t> name(xcb_get_atom_name_reply(c, names[i], nullptr));
        if (name)
            monitors[i].name = QString::fromUtf8(xcb_get_atom_name_name(name.get()),
                                                 xcb_get_atom_name_name_length(name.get()));
    }
    return monitors;
}

std::uint32_t X11Monitor::displayNumberOf(const QScreen* screen,
                                          const std::vector<X11Monitor>& monitors)
{
    if (!screen)
        return 0;
    const QString name = screen->name();
    for (const X11Monitor& monitor : monitors) {
        if (!name.isEmpty() && monitor.name == name)
            return monitor.displayNumber;
    }
    // Qt keeps a screen's device origin and divides its size by the ratio.
    const QRect logical = screen->geometry();
    const double ratio = screen->devicePixelRatio();
    for (const X11Monitor& monitor : monitors) {
        const Rect& native = monitor.nativeFrame;
        if (native.minX() == logical.x() && native.minY() == logical.y()
            && std::abs(native.width() - logical.width() * ratio) < ratio
            && std::abs(native.height() - logical.height() * ratio) < ratio)
            return monitor.displayNumber;
    }
    return 0;
}

} // namespace kelpie
