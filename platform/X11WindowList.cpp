#include "platform/X11WindowList.h"

#include "platform/XcbSession.h"

#include <xcb/res.h>

#include <algorithm>
#include <span>
#include <unordered_map>

namespace kelpie {
namespace {

// Reparenting window managers nest a client a level or two deep; anything
// deeper than this is not a desktop window.
constexpr int maximumNesting = 8;

std::span<const xcb_atom_t> atomsOf(const xcb_get_property_reply_t* reply)
{
    if (!reply || reply->format != 32 || reply->type != XCB_ATOM_ATOM)
        return {};
    return {static_cast<const xcb_atom_t*>(xcb_get_property_value(reply)),
            static_cast<std::size_t>(xcb_get_property_value_length(reply) / 4)};
}

std::span<const xcb_window_t> windowsOf(const xcb_get_property_reply_t* reply)
{
    if (!reply || reply->format != 32 || reply->type != XCB_ATOM_WINDOW)
        return {};
    return {static_cast<const xcb_window_t*>(xcb_get_property_value(reply)),
            static_cast<std::size_t>(xcb_get_property_value_length(reply) / 4)};
}

// The first window type the list names that we know decides; a window that
// names none is an ordinary one.
bool isNormalType(const XcbSession::Atoms& atoms, std::span<const xcb_atom_t> types)
{
    for (xcb_atom_t type : types) {
        if (type == atoms.typeNormal || type == atoms.typeDialog)
            return true;
        if (std::ranges::find(atoms.otherTypes, type) != std::end(atoms.otherTypes))
            return false;
    }
    return true;
}

// Per window, the replies needed to describe an application window.
struct ClientQuery {
    xcb_get_window_attributes_cookie_t attributes{};
    bool askAttributes = false;
    xcb_get_property_cookie_t type{};
    xcb_get_property_cookie_t state{};
    xcb_get_property_cookie_t extents{};
    xcb_get_property_cookie_t pid{};
    xcb_res_query_client_ids_cookie_t clientIds{};
    bool askClientIds = false;
};

std::optional<std::int32_t> pidFromProperty(const xcb_get_property_reply_t* reply)
{
    if (!reply || reply->format != 32 || reply->type != XCB_ATOM_CARDINAL
        || xcb_get_property_value_length(reply) < 4)
        return std::nullopt;
    const std::uint32_t pid = *static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
    if (pid == 0 || pid > 0x7fff'ffffu)
        return std::nullopt;
    return static_cast<std::int32_t>(pid);
}

// The frame less the invisible margins a client draws around itself, when
// it names sensible ones.
Rect visiblePart(const Rect& frame, const xcb_get_property_reply_t* extents)
{
    if (!extents || extents->format != 32 || extents->type != XCB_ATOM_CARDINAL
        || xcb_get_property_value_length(extents) < 16)
        return frame;
    const auto* margin = static_cast<const std::uint32_t*>(xcb_get_property_value(extents));
    const double left = margin[0], right = margin[1], top = margin[2], bottom = margin[3];
    if (left + right >= frame.width() || top + bottom >= frame.height())
        return frame;
    return Rect(frame.minX() + left, frame.minY() + top, frame.width() - left - right,
                frame.height() - top - bottom);
}

} // namespace

std::optional<std::int32_t> X11WindowList::ownerFromClientIds(
    xcb_res_query_client_ids_reply_t* reply)
{
    if (!reply)
        return std::nullopt;
    for (auto it = xcb_res_query_client_ids_ids_iterator(reply); it.rem;
         xcb_res_client_id_value_next(&it)) {
        const auto& [clientId, byteLength] = *it.data;
        if ((clientId.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID)
            && xcb_res_client_id_value_value_length(it.data) >= 1) {
            const std::uint32_t pid = xcb_res_client_id_value_value(it.data)[0];
            if (pid > 0 && pid <= 0x7fff'ffffu)
                return static_cast<std::int32_t>(pid);
        }
    }
    return std::nullopt;
}

std::optional<X11TopLevel> X11WindowList::topLevelOf(const XcbSession& session, xcb_window_t window)
{
    xcb_connection_t* c = session.connection();
    const xcb_window_t client = window;
    for (int level = 0; level < maximumNesting; ++level) {
        XcbPtr<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
        if (!tree)
            return std::nullopt;
        if (tree->parent != session.root()) {
            window = tree->parent;
            continue;
        }
        const auto attributesCookie = xcb_get_window_attributes(c, window);
        const auto geometryCookie = xcb_get_geometry(c, window);
        const auto extentsCookie
            = xcb_get_property(c, 0, client, session.atoms().frameExtents, XCB_ATOM_CARDINAL, 0, 4);
        XcbPtr<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, attributesCookie, nullptr));
        XcbPtr<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(c, geometryCookie, nullptr));
        XcbPtr<xcb_get_property_reply_t> extents(xcb_get_property_reply(c, extentsCookie, nullptr));
        if (!attributes || !geometry || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
            return std::nullopt;
        X11TopLevel t;
        t.window = window;
        const int border = 2 * geometry->border_width;
        t.frame
            = Rect(geometry->x, geometry->y, geometry->width + border, geometry->height + border);
        t.overrideRedirect = attributes->override_redirect;
        t.depth = geometry->depth;
        t.visual = attributes->visual;
        t.client = client;
        t.visibleFrame = visiblePart(t.frame, extents.get());
        return t;
    }
    return std::nullopt;
}

std::optional<X11WindowList> X11WindowList::list(const XcbSession& session)
{
    xcb_connection_t* c = session.connection();
    const XcbSession::Atoms& atoms = session.atoms();
    const xcb_window_t root = session.root();

    const auto treeCookie = xcb_query_tree(c, root);
    const auto stackingCookie
        = xcb_get_property(c, 0, root, atoms.clientListStacking, XCB_ATOM_WINDOW, 0, 1u << 16);
    XcbPtr<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, treeCookie, nullptr));
    XcbPtr<xcb_get_property_reply_t> stacking(xcb_get_property_reply(c, stackingCookie, nullptr));
    if (!tree)
        return std::nullopt;
    const std::span<const xcb_window_t> children(xcb_query_tree_children(tree.get()),
                                                 xcb_query_tree_children_length(tree.get()));
    const std::span<const xcb_window_t> clients = windowsOf(stacking.get());

    // Every child's attributes and geometry, and the first step from each
    // managed client towards the root, in one round.
    std::vector<xcb_get_window_attributes_cookie_t> attributeCookies;
    std::vector<xcb_get_geometry_cookie_t> geometryCookies;
    for (xcb_window_t child : children) {
        attributeCookies.push_back(xcb_get_window_attributes(c, child));
        geometryCookies.push_back(xcb_get_geometry(c, child));
    }
    std::vector<xcb_window_t> climbing(clients.begin(), clients.end());
    std::vector<bool> reachedTop(clients.size(), false);
    std::vector<xcb_query_tree_cookie_t> climbCookies;
    for (xcb_window_t client : clients)
        climbCookies.push_back(xcb_query_tree(c, client));

    struct Child {
        X11TopLevel topLevel;
        bool viewable = false;
    };
    std::vector<Child> described(children.size());
    for (std::size_t i = 0; i < children.size(); ++i) {
        XcbPtr<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, attributeCookies[i], nullptr));
        XcbPtr<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(c, geometryCookies[i], nullptr));
        if (!attributes || !geometry)
            continue; // destroyed meanwhile
        X11TopLevel& t = described[i].topLevel;
        t.window = children[i];
        const int border = 2 * geometry->border_width;
        t.frame
            = Rect(geometry->x, geometry->y, geometry->width + border, geometry->height + border);
        t.overrideRedirect = attributes->override_redirect;
        t.depth = geometry->depth;
        t.visual = attributes->visual;
        described[i].viewable = attributes->map_state == XCB_MAP_STATE_VIEWABLE
            && attributes->_class == XCB_WINDOW_CLASS_INPUT_OUTPUT;
    }

    // Climb from each client to the root's child that frames it, one level
    // per round for all clients at once.
    for (int level = 0; level < maximumNesting; ++level) {
        std::vector<std::size_t> asked;
        for (std::size_t i = 0; i < clients.size(); ++i) {
            if (!reachedTop[i] && climbing[i] != XCB_NONE)
                asked.push_back(i);
        }
        if (asked.empty())
            break;
        if (level > 0) {
            for (std::size_t i : asked)
                climbCookies[i] = xcb_query_tree(c, climbing[i]);
        }
        for (std::size_t i : asked) {
            XcbPtr<xcb_query_tree_reply_t> up(xcb_query_tree_reply(c, climbCookies[i], nullptr));
            if (!up)
                climbing[i] = XCB_NONE;
            else if (up->parent == root)
                reachedTop[i] = true;
            else
                climbing[i] = up->parent;
        }
    }
    std::unordered_map<xcb_window_t, xcb_window_t> clientOf;
    for (std::size_t i = 0; i < clients.size(); ++i) {
        if (reachedTop[i])
            clientOf[climbing[i]] = clients[i]; // the upper one wins if a frame holds two
    }

    // What each viewable child shows: its client's state, type and owner.
    std::vector<ClientQuery> queries(children.size());
    for (std::size_t i = 0; i < children.size(); ++i) {
        if (!described[i].viewable)
            continue;
        X11TopLevel& t = described[i].topLevel;
        if (const auto found = clientOf.find(t.window); found != clientOf.end())
            t.client = found->second;
        else if (!t.overrideRedirect)
            t.client = t.window;
        ClientQuery& q = queries[i];
        const xcb_window_t subject = t.client != XCB_NONE ? t.client : t.window;
        if (t.client != XCB_NONE) {
            q.askAttributes = t.client != t.window;
            if (q.askAttributes)
                q.attributes = xcb_get_window_attributes(c, t.client);
            q.type = xcb_get_property(c, 0, t.client, atoms.windowType, XCB_ATOM_ATOM, 0, 64);
            q.state = xcb_get_property(c, 0, t.client, atoms.windowState, XCB_ATOM_ATOM, 0, 64);
            q.extents
                = xcb_get_property(c, 0, t.client, atoms.frameExtents, XCB_ATOM_CARDINAL, 0, 4);
        }
        q.pid = xcb_get_property(c, 0, subject, atoms.windowPid, XCB_ATOM_CARDINAL, 0, 1);
        if (session.hasClientIds()) {
            const xcb_res_client_id_spec_t wanted{subject, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
            q.clientIds = xcb_res_query_client_ids(c, 1, &wanted);
            q.askClientIds = true;
        }
    }

    const Rect desktop(0, 0, session.screen().width_in_pixels, session.screen().height_in_pixels);
    X11WindowList result;
    for (std::size_t i = 0; i < children.size(); ++i) {
        if (!described[i].viewable)
            continue;
        X11TopLevel t = described[i].topLevel;
        t.visibleFrame = t.frame;
        ClientQuery& q = queries[i];
        bool clientViewable = true;
        bool normal = false;
        bool hidden = false;
        if (t.client != XCB_NONE) {
            if (q.askAttributes) {
                XcbPtr<xcb_get_window_attributes_reply_t> attributes(
                    xcb_get_window_attributes_reply(c, q.attributes, nullptr));
                clientViewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
            }
            XcbPtr<xcb_get_property_reply_t> type(xcb_get_property_reply(c, q.type, nullptr));
            XcbPtr<xcb_get_property_reply_t> state(xcb_get_property_reply(c, q.state, nullptr));
            XcbPtr<xcb_get_property_reply_t> extents(xcb_get_property_reply(c, q.extents, nullptr));
            t.visibleFrame = visiblePart(t.frame, extents.get());
            normal = isNormalType(atoms, atomsOf(type.get()));
            hidden = std::ranges::find(atomsOf(state.get()), atoms.stateHidden)
                != atomsOf(state.get()).end();
        }
        XcbPtr<xcb_get_property_reply_t> pid(xcb_get_property_reply(c, q.pid, nullptr));
        // The server knows which process made a window; the property is only
        // what the application claims, so it counts only when the server
        // cannot say (a remote client, an old server).
        if (q.askClientIds) {
            XcbPtr<xcb_res_query_client_ids_reply_t> ids(
                xcb_res_query_client_ids_reply(c, q.clientIds, nullptr));
            t.ownerPID = ownerFromClientIds(ids.get());
        }
        if (!t.ownerPID)
            t.ownerPID = pidFromProperty(pid.get());

        ShareableContent::Window window;
        window.windowID = t.client != XCB_NONE ? t.client : t.window;
        window.onScreen = clientViewable && !hidden && t.visibleFrame.intersects(desktop);
        window.windowLayer = t.client != XCB_NONE && normal ? ShareableContent::normalLayer
                                                            : ShareableContent::otherLayer;
        window.ownerPID = t.ownerPID;
        window.nativeFrame = t.visibleFrame;
        result.windows.push_back(window);
        result.topLevels.push_back(t);
    }
    std::ranges::reverse(result.windows);
    return result;
}

} // namespace kelpie
