#include "platform/X11TaskbarHint.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <optional>

namespace kelpie::X11TaskbarHint {
namespace {

constexpr const char* watcherName = "kelpieTaskbarHint";

xcb_connection_t* connection()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

std::optional<xcb_atom_t> atom(xcb_connection_t* c, const char* name)
{
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::uint16_t(qstrlen(name)), name), nullptr),
        &std::free);
    if (!reply || reply->atom == XCB_ATOM_NONE)
        return std::nullopt;
    return reply->atom;
}

struct Atoms {
    xcb_atom_t state;
    xcb_atom_t skipTaskbar;
};

// Looked up once: panels are shown again on every hover, and each look-up
// is a round trip to the server.
std::optional<Atoms> atoms(xcb_connection_t* c)
{
    static xcb_connection_t* known = nullptr;
    static std::optional<Atoms> cached;
    if (known == c && cached)
        return cached;
    const auto state = atom(c, "_NET_WM_STATE");
    const auto skip = atom(c, "_NET_WM_STATE_SKIP_TASKBAR");
    if (!state || !skip)
        return std::nullopt;
    known = c;
    cached = Atoms{*state, *skip};
    return cached;
}

bool propertyHas(xcb_connection_t* c, xcb_window_t window, const Atoms& names)
{
    const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(
            c, xcb_get_property(c, 0, window, names.state, XCB_ATOM_ATOM, 0, 1024), nullptr),
        &std::free);
    if (!reply || reply->format != 32 || reply->type != XCB_ATOM_ATOM)
        return false;
    const auto* values = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / int(sizeof(xcb_atom_t));
    for (int i = 0; i < count; ++i) {
        if (values[i] == names.skipTaskbar)
            return true;
    }
    return false;
}

// The window manager reads the property when it starts managing the window
// and owns it afterwards, when only a request to it changes the state. Both
// are sent: whichever the window's moment calls for takes effect, and the
// other is ignored.
void apply(QWidget* window)
{
    xcb_connection_t* c = connection();
    if (!c || !window->isWindow())
        return;
    const auto names = atoms(c);
    if (!names)
        return;
    const auto id = static_cast<xcb_window_t>(window->winId());
    if (!propertyHas(c, id, *names))
        xcb_change_property(c, XCB_PROP_MODE_APPEND, id, names->state, XCB_ATOM_ATOM, 32, 1,
                            &names->skipTaskbar);

    const xcb_setup_t* setup = xcb_get_setup(c);
    const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    if (screens.rem == 0)
        return;
    xcb_client_message_event_t request{};
    request.response_type = XCB_CLIENT_MESSAGE;
    request.format = 32;
    request.window = id;
    request.type = names->state;
    request.data.data32[0] = 1; // add
    request.data.data32[1] = names->skipTaskbar;
    request.data.data32[2] = 0;
    request.data.data32[3] = 1; // from an ordinary application
    xcb_send_event(c, 0, screens.data->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&request));
    xcb_flush(c);
}

// Puts the state back each time the window is shown: a window manager drops
// a window's state when it is withdrawn, and the toolkit maps the window
// right after the show event with the property as it finds it.
class Watcher : public QObject {
public:
    explicit Watcher(QWidget* window) : QObject(window)
    {
        setObjectName(QString::fromLatin1(watcherName));
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched == parent())
            apply(static_cast<QWidget*>(watched));
        return false;
    }
};

} // namespace

void skipTaskbar(QWidget* window)
{
    if (!window || !connection())
        return;
    if (!window->findChild<QObject*>(QString::fromLatin1(watcherName), Qt::FindDirectChildrenOnly))
        new Watcher(window);
    if (window->isVisible())
        apply(window);
}

bool skipsTaskbar(const QWidget* window)
{
    xcb_connection_t* c = connection();
    if (!c || !window || !window->internalWinId())
        return false;
    const auto names = atoms(c);
    return names && propertyHas(c, static_cast<xcb_window_t>(window->internalWinId()), *names);
}

} // namespace kelpie::X11TaskbarHint
