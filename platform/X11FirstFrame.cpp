#include "platform/X11FirstFrame.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QGuiApplication>
#include <QRegion>
#include <QWidget>

#include <xcb/render.h>
#include <xcb/xcb.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <vector>

namespace kelpie::X11FirstFrame {
namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

xcb_connection_t* connection()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// The picture format of a visual, from the server's list, asked for once
// per connection.
xcb_render_pictformat_t formatOf(xcb_connection_t* c, xcb_visualid_t visual)
{
    static xcb_connection_t* known = nullptr;
    static std::map<xcb_visualid_t, xcb_render_pictformat_t> formats;
    if (known != c) {
        const Reply<xcb_render_query_pict_formats_reply_t> reply(
            xcb_render_query_pict_formats_reply(c, xcb_render_query_pict_formats(c), nullptr),
            &std::free);
        if (!reply)
            return XCB_NONE;
        formats.clear();
        known = c;
        for (auto screens = xcb_render_query_pict_formats_screens_iterator(reply.get());
             screens.rem; xcb_render_pictscreen_next(&screens)) {
            for (auto depths = xcb_render_pictscreen_depths_iterator(screens.data); depths.rem;
                 xcb_render_pictdepth_next(&depths)) {
                for (auto visuals = xcb_render_pictdepth_visuals_iterator(depths.data);
                     visuals.rem; xcb_render_pictvisual_next(&visuals))
                    formats[visuals.data->visual] = visuals.data->format;
            }
        }
    }
    const auto found = formats.find(visual);
    return found == formats.end() ? XCB_NONE : found->second;
}

// A colour as the render extension takes it: premultiplied, 16 bits a
// channel.
xcb_render_color_t premultiplied(const QColor& colour)
{
    const double alpha = colour.alphaF();
    const auto channel = [alpha](double value) {
        return std::uint16_t(std::lround(value * alpha * 65535));
    };
    return {channel(colour.redF()), channel(colour.greenF()), channel(colour.blueF()),
            std::uint16_t(std::lround(alpha * 65535))};
}

struct Pending {
    xcb_render_pictformat_t format;
    xcb_render_color_t colour;
    std::vector<xcb_rectangle_t> rectangles;
};

// Sees the X events before the toolkit does, so that the fill is asked
// for before the toolkit's drawing of the exposed window.
class ExposeFilter : public QAbstractNativeEventFilter {
public:
    static ExposeFilter& instance()
    {
        static ExposeFilter filter;
        return filter;
    }

    void wait(xcb_window_t window, Pending pending)
    {
        if (!m_installed && qGuiApp) {
            qGuiApp->installNativeEventFilter(this);
            m_installed = true;
        }
        m_pending[window] = std::move(pending);
    }

    int waiting() const { return int(m_pending.size()); }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override
    {
        if (m_pending.empty() || type != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        switch (event->response_type & ~0x80) {
        case XCB_EXPOSE:
            fill(reinterpret_cast<const xcb_expose_event_t*>(event)->window);
            break;
        case XCB_UNMAP_NOTIFY:
            m_pending.erase(reinterpret_cast<const xcb_unmap_notify_event_t*>(event)->window);
            break;
        case XCB_DESTROY_NOTIFY:
            m_pending.erase(reinterpret_cast<const xcb_destroy_notify_event_t*>(event)->window);
            break;
        default:
            break;
        }
        return false;
    }

private:
    void fill(xcb_window_t window)
    {
        const auto found = m_pending.find(window);
        xcb_connection_t* c = connection();
        if (found == m_pending.end() || !c)
            return;
        const Pending pending = std::move(found->second);
        m_pending.erase(found);
        const xcb_render_picture_t picture = xcb_generate_id(c);
        xcb_render_create_picture(c, picture, window, pending.format, 0, nullptr);
        xcb_render_fill_rectangles(c, XCB_RENDER_PICT_OP_OVER, picture, pending.colour,
                                   std::uint32_t(pending.rectangles.size()),
                                   pending.rectangles.data());
        xcb_render_free_picture(c, picture);
        xcb_flush(c);
    }

    bool m_installed = false;
    std::map<xcb_window_t, Pending> m_pending;
};

} // namespace

void dimWhenExposed(QWidget* window, const QColor& dim, const QRect& clear)
{
    xcb_connection_t* c = connection();
    // A window on screen already is exposed again only when something
    // uncovers it, over a picture that is dimmed already.
    if (!c || !window || !window->isWindow() || window->isVisible())
        return;
    const auto id = xcb_window_t(window->winId());
    const Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, id), nullptr), &std::free);
    if (!attributes)
        return;
    const xcb_render_pictformat_t format = formatOf(c, attributes->visual);
    if (format == XCB_NONE)
        return;
    // Device pixels; what stays clear is taken whole, so that no pixel of
    // it is darkened.
    const double ratio = window->devicePixelRatioF();
    QRegion dimmed(QRect(QPoint(0, 0), (QSizeF(window->size()) * ratio).toSize()));
    if (!clear.isEmpty()) {
        const QRectF device(clear.x() * ratio, clear.y() * ratio, clear.width() * ratio,
                            clear.height() * ratio);
        dimmed -= device.toAlignedRect();
    }
    Pending pending{format, premultiplied(dim), {}};
    for (const QRect& r : dimmed) {
        pending.rectangles.push_back({std::int16_t(r.x()), std::int16_t(r.y()),
                                      std::uint16_t(r.width()), std::uint16_t(r.height())});
    }
    ExposeFilter::instance().wait(id, std::move(pending));
}

bool available()
{
    xcb_connection_t* c = connection();
    if (!c)
        return false;
    const xcb_query_extension_reply_t* render = xcb_get_extension_data(c, &xcb_render_id);
    return render && render->present;
}

int waiting() { return ExposeFilter::instance().waiting(); }

} // namespace kelpie::X11FirstFrame
