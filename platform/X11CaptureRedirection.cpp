#include "platform/X11CaptureRedirection.h"

#include "capture/PixelLimits.h"
#include "platform/X11WindowList.h"
#include "platform/XcbSession.h"

#include <xcb/composite.h>
#include <xcb/res.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

namespace kelpie {
namespace {

// What a message to the mailbox asks of the thread.
constexpr std::uint32_t catchUpMessage = 1;
constexpr std::uint32_t stopMessage = 2;

constexpr double screensOfBudget = 16;

} // namespace

double X11CaptureRedirection::budget(double screenWidth, double screenHeight)
{
    return std::max(screensOfBudget * screenWidth * screenHeight, PixelLimits::maximumArea);
}

bool X11CaptureRedirection::keeps(double width, double height, bool shown, double shownCost,
                                  double budget)
{
    if (!PixelLimits::accepts(width, height))
        return false;
    return !shown || shownCost + width * height <= budget;
}

X11CaptureRedirection::X11CaptureRedirection(const XcbSession& session, std::int32_t ownPID)
    : session_(session), ownPID_(ownPID),
      budget_(budget(session.screen().width_in_pixels, session.screen().height_in_pixels))
{
    xcb_connection_t* c = session_.connection();
    const xcb_window_t root = session_.root();
    // Follow the root's children first, then look at those already there, so
    // that none slips through in between.
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);

    // A window of our own that only we hear messages on: a message sent to it
    // with no event mask goes to its creator.
    mailbox_ = xcb_generate_id(c);
    const std::uint32_t overrideRedirect = 1;
    xcb_create_window(c, 0, mailbox_, root, -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT, &overrideRedirect);
    messageType_ = XCB_ATOM_INTEGER;

    XcbPtr<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr));
    if (tree) {
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        const int count = xcb_query_tree_children_length(tree.get());
        std::vector<xcb_get_geometry_cookie_t> geometries;
        std::vector<xcb_get_window_attributes_cookie_t> attributes;
        for (int i = 0; i < count; ++i) {
            geometries.push_back(xcb_get_geometry(c, children[i]));
            attributes.push_back(xcb_get_window_attributes(c, children[i]));
        }
        for (int i = 0; i < count; ++i) {
            XcbPtr<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(c, geometries[i], nullptr));
            XcbPtr<xcb_get_window_attributes_reply_t> a(
                xcb_get_window_attributes_reply(c, attributes[i], nullptr));
            if (!g || !a || a->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT || isOurs(children[i]))
                continue;
            const int border = 2 * g->border_width;
            track(children[i], Rect(g->x, g->y, g->width + border, g->height + border),
                  a->map_state != XCB_MAP_STATE_UNMAPPED, a->override_redirect != 0);
        }
    }
    xcb_flush(c);
    thread_ = std::thread([this] { run(); });
}

X11CaptureRedirection::~X11CaptureRedirection()
{
    post(stopMessage, 0);
    thread_.join();
}

bool X11CaptureRedirection::isOurs(xcb_window_t window) const
{
    const xcb_setup_t* setup = xcb_get_setup(session_.connection());
    return (window & ~setup->resource_id_mask) == setup->resource_id_base;
}

void X11CaptureRedirection::post(std::uint32_t what, std::uint32_t value)
{
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = mailbox_;
    message.type = messageType_;
    message.data.data32[0] = what;
    message.data.data32[1] = value;
    xcb_connection_t* c = session_.connection();
    xcb_send_event(c, 0, mailbox_, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(c);
}

bool X11CaptureRedirection::catchUp()
{
    std::uint32_t ticket = 0;
    {
        const std::lock_guard guard(lock_);
        ticket = ++asked_;
    }
    post(catchUpMessage, ticket);
    std::unique_lock guard(lock_);
    // A bound on a dead thread or connection, not on speed.
    return answered_.wait_for(guard, std::chrono::seconds(10), [&] { return seen_ >= ticket; });
}

void X11CaptureRedirection::run()
{
    xcb_connection_t* c = session_.connection();
    for (;;) {
        xcb_generic_event_t* event = xcb_wait_for_event(c);
        if (!event)
            return; // the connection is broken; catchUp() times out
        const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event);
        const bool mail
            = (event->response_type & 0x7f) == XCB_CLIENT_MESSAGE && message->window == mailbox_;
        if (mail && message->data.data32[0] == stopMessage) {
            std::free(event);
            return;
        }
        if (mail) {
            const std::uint32_t ticket = message->data.data32[1];
            xcb_flush(c);
            {
                const std::lock_guard guard(lock_);
                seen_ = std::max(seen_, ticket);
            }
            answered_.notify_all();
        } else {
            handle(event);
            xcb_flush(c);
        }
        std::free(event);
    }
}

void X11CaptureRedirection::handle(const xcb_generic_event_t* event)
{
    const xcb_window_t root = session_.root();
    switch (event->response_type & 0x7f) {
    case XCB_CREATE_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_create_notify_event_t*>(event);
        if (e->parent != root || isOurs(e->window))
            return;
        // Input-only windows have no contents to keep.
        xcb_connection_t* c = session_.connection();
        XcbPtr<xcb_get_window_attributes_reply_t> a(
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, e->window), nullptr));
        if (!a || a->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT)
            return;
        const int border = 2 * e->border_width;
        track(e->window, Rect(e->x, e->y, e->width + border, e->height + border),
              a->map_state != XCB_MAP_STATE_UNMAPPED, e->override_redirect != 0);
        return;
    }
    case XCB_CONFIGURE_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_configure_notify_event_t*>(event);
        const auto found = topLevels_.find(e->window);
        if (e->event != root || found == topLevels_.end())
            return;
        const int border = 2 * e->border_width;
        const bool shrank
            = e->width + border < found->second.width || e->height + border < found->second.height;
        found->second.x = e->x;
        found->second.y = e->y;
        found->second.width = e->width + border;
        found->second.height = e->height + border;
        apply(e->window);
        if (shrank)
            reconsiderRefused();
        return;
    }
    case XCB_MAP_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_map_notify_event_t*>(event);
        const auto found = topLevels_.find(e->window);
        if (e->event != root || found == topLevels_.end())
            return;
        found->second.shown = true;
        found->second.ours = showsOurs(e->window);
        found->second.unmanaged = e->override_redirect != 0;
        apply(e->window);
        return;
    }
    case XCB_UNMAP_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_unmap_notify_event_t*>(event);
        const auto found = topLevels_.find(e->window);
        if (e->event != root || found == topLevels_.end())
            return;
        const TopLevel& t = found->second;
        if (t.shown && t.ours) {
            const std::lock_guard guard(lock_);
            closed_.push_back(
                {Rect(t.x, t.y, t.width, t.height), std::chrono::steady_clock::now()});
        }
        found->second.shown = false;
        apply(e->window);
        reconsiderRefused();
        return;
    }
    case XCB_DESTROY_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_destroy_notify_event_t*>(event);
        if (e->event == root && topLevels_.erase(e->window))
            reconsiderRefused();
        return;
    }
    case XCB_REPARENT_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_reparent_notify_event_t*>(event);
        if (e->event != root || isOurs(e->window))
            return;
        xcb_connection_t* c = session_.connection();
        if (e->parent != root) {
            // Framed by a window manager: its frame is kept instead, and the
            // window need not cost a pixmap of its own as well.
            const auto found = topLevels_.find(e->window);
            if (found == topLevels_.end())
                return;
            if (found->second.kept)
                xcb_composite_unredirect_window(c, e->window, XCB_COMPOSITE_REDIRECT_AUTOMATIC);
            topLevels_.erase(found);
            reconsiderRefused();
            return;
        }
        XcbPtr<xcb_get_geometry_reply_t> g(
            xcb_get_geometry_reply(c, xcb_get_geometry(c, e->window), nullptr));
        XcbPtr<xcb_get_window_attributes_reply_t> a(
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, e->window), nullptr));
        if (!g || !a || a->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT)
            return;
        const int border = 2 * g->border_width;
        track(e->window, Rect(e->x, e->y, g->width + border, g->height + border),
              a->map_state != XCB_MAP_STATE_UNMAPPED, a->override_redirect != 0);
        return;
    }
    default: return; // errors of requests nobody waits for, and the rest
    }
}

void X11CaptureRedirection::track(xcb_window_t window, Rect frame, bool shown, bool unmanaged)
{
    TopLevel& t = topLevels_[window];
    t.x = frame.minX();
    t.y = frame.minY();
    t.width = frame.width();
    t.height = frame.height();
    t.shown = shown;
    t.unmanaged = unmanaged;
    // Asked of a hidden window only when it bypasses the manager: another is
    // asked again when it is shown.
    t.ours = (shown || unmanaged) && showsOurs(window);
    apply(window);
}

// The process behind a top-level, or behind one of the windows it frames: a
// window manager's frame holds the client one level down.
bool X11CaptureRedirection::showsOurs(xcb_window_t window) const
{
    if (!session_.hasClientIds())
        return false;
    xcb_connection_t* c = session_.connection();
    std::vector<xcb_window_t> candidates{window};
    XcbPtr<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
    if (tree) {
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        candidates.insert(candidates.end(), children,
                          children + xcb_query_tree_children_length(tree.get()));
    }
    std::vector<xcb_res_query_client_ids_cookie_t> cookies;
    for (xcb_window_t candidate : candidates) {
        const xcb_res_client_id_spec_t wanted{candidate, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
        cookies.push_back(xcb_res_query_client_ids(c, 1, &wanted));
    }
    bool ours = false;
    for (const auto& cookie : cookies) {
        XcbPtr<xcb_res_query_client_ids_reply_t> reply(
            xcb_res_query_client_ids_reply(c, cookie, nullptr));
        if (!reply)
            continue;
        if (X11WindowList::ownerFromClientIds(reply.get()) == ownPID_)
            ours = true;
    }
    return ours;
}

std::vector<Rect> X11CaptureRedirection::closedOwnWindows(std::chrono::milliseconds within)
{
    const auto since = std::chrono::steady_clock::now() - within;
    const std::lock_guard guard(lock_);
    std::erase_if(closed_, [since](const Closed& closed) { return closed.when < since; });
    std::vector<Rect> frames;
    for (const Closed& closed : closed_)
        frames.push_back(closed.frame);
    return frames;
}

void X11CaptureRedirection::apply(xcb_window_t window)
{
    TopLevel& t = topLevels_.at(window);
    double shownCost = 0;
    for (const auto& [other, o] : topLevels_) {
        if (other != window && o.shown && o.kept)
            shownCost += o.width * o.height;
    }
    const bool wanted
        = !(t.ours && t.unmanaged) && keeps(t.width, t.height, t.shown, shownCost, budget_);
    if (wanted == t.kept)
        return;
    xcb_connection_t* c = session_.connection();
    if (wanted)
        xcb_composite_redirect_window(c, window, XCB_COMPOSITE_REDIRECT_AUTOMATIC);
    else
        xcb_composite_unredirect_window(c, window, XCB_COMPOSITE_REDIRECT_AUTOMATIC);
    t.kept = wanted;
}

// After room was freed, windows refused for want of it may fit again.
void X11CaptureRedirection::reconsiderRefused()
{
    for (auto& [window, t] : topLevels_) {
        if (!t.kept && t.shown)
            apply(window);
    }
}

} // namespace kelpie
