#include "platform/XcbSession.h"

#include <xcb/composite.h>
#include <xcb/randr.h>
#include <xcb/render.h>
#include <xcb/res.h>
#include <xcb/shm.h>

#include <array>
#include <bit>
#include <cstring>
#include <string>
#include <string_view>

namespace kelpie {

XcbSession::XcbSession()
{
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (!screens.rem) {
        xcb_disconnect(connection);
        return;
    }
    connection_ = connection;
    screen_ = screens.data;
    screenNumber_ = screenNumber;
    queryExtensions();
    internAtoms();
}

XcbSession::~XcbSession()
{
    if (connection_)
        xcb_disconnect(connection_);
}

void XcbSession::queryExtensions()
{
    // Prefetch all extension data, then ask every version in one round.
    xcb_prefetch_extension_data(connection_, &xcb_shm_id);
    xcb_prefetch_extension_data(connection_, &xcb_composite_id);
    xcb_prefetch_extension_data(connection_, &xcb_randr_id);
    xcb_prefetch_extension_data(connection_, &xcb_res_id);
    xcb_prefetch_extension_data(connection_, &xcb_render_id);
    auto present = [this](xcb_extension_t* id) {
        const xcb_query_extension_reply_t* data = xcb_get_extension_data(connection_, id);
        return data && data->present;
    };

    const bool shm = present(&xcb_shm_id);
    const bool composite = present(&xcb_composite_id);
    const bool randr = present(&xcb_randr_id);
    const bool res = present(&xcb_res_id);
    const bool render = present(&xcb_render_id);
    xcb_shm_query_version_cookie_t shmCookie{};
    xcb_composite_query_version_cookie_t compositeCookie{};
    xcb_randr_query_version_cookie_t randrCookie{};
    xcb_res_query_version_cookie_t resCookie{};
    xcb_render_query_version_cookie_t renderCookie{};
    if (shm)
        shmCookie = xcb_shm_query_version(connection_);
    if (composite)
        compositeCookie = xcb_composite_query_version(connection_, 0, 4);
    if (randr)
        randrCookie = xcb_randr_query_version(connection_, 1, 5);
    if (res)
        resCookie = xcb_res_query_version(connection_, 1, 2);
    if (render)
        renderCookie = xcb_render_query_version(connection_, 0, 11);

    if (shm) {
        XcbPtr<xcb_shm_query_version_reply_t> reply(
            xcb_shm_query_version_reply(connection_, shmCookie, nullptr));
        hasShm_ = reply != nullptr;
    }
    if (composite) {
        XcbPtr<xcb_composite_query_version_reply_t> reply(
            xcb_composite_query_version_reply(connection_, compositeCookie, nullptr));
        hasComposite_ = reply && (reply->major_version > 0 || reply->minor_version >= 2);
    }
    if (randr) {
        XcbPtr<xcb_randr_query_version_reply_t> reply(
            xcb_randr_query_version_reply(connection_, randrCookie, nullptr));
        hasMonitors_ = reply && (reply->major_version > 1 || reply->minor_version >= 5);
    }
    if (res) {
        XcbPtr<xcb_res_query_version_reply_t> reply(
            xcb_res_query_version_reply(connection_, resCookie, nullptr));
        hasClientIds_ = reply && (reply->server_major > 1 || reply->server_minor >= 2);
    }
    if (render) {
        XcbPtr<xcb_render_query_version_reply_t> reply(
            xcb_render_query_version_reply(connection_, renderCookie, nullptr));
        hasRender_ = reply != nullptr;
    }
}

void XcbSession::internAtoms()
{
    constexpr std::array<std::string_view, 21> names{
        "_NET_CLIENT_LIST_STACKING",
        "_NET_WM_WINDOW_TYPE",
        "_NET_WM_PID",
        "_NET_WM_STATE",
        "_NET_WM_STATE_HIDDEN",
        "_NET_WM_WINDOW_TYPE_NORMAL",
        "_NET_WM_WINDOW_TYPE_DIALOG",
        "_XROOTPMAP_ID",
        "_NET_WM_WINDOW_TYPE_DESKTOP",
        "_NET_WM_WINDOW_TYPE_DOCK",
        "_NET_WM_WINDOW_TYPE_TOOLBAR",
        "_NET_WM_WINDOW_TYPE_MENU",
        "_NET_WM_WINDOW_TYPE_UTILITY",
        "_NET_WM_WINDOW_TYPE_SPLASH",
        "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU",
        "_NET_WM_WINDOW_TYPE_POPUP_MENU",
        "_NET_WM_WINDOW_TYPE_TOOLTIP",
        "_NET_WM_WINDOW_TYPE_NOTIFICATION",
        "_NET_WM_WINDOW_TYPE_COMBO",
        "_NET_WM_WINDOW_TYPE_DND",
        "_GTK_FRAME_EXTENTS",
    };
    std::array<xcb_intern_atom_cookie_t, names.size()> cookies{};
    for (std::size_t i = 0; i < names.size(); ++i)
        cookies[i] = xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(names[i].size()),
                                     names[i].data());
    std::array<xcb_atom_t, names.size()> atoms{};
    for (std::size_t i = 0; i < names.size(); ++i) {
        XcbPtr<xcb_intern_atom_reply_t> reply(
            xcb_intern_atom_reply(connection_, cookies[i], nullptr));
        atoms[i] = reply ? reply->atom : XCB_NONE;
    }
    atoms_.clientListStacking = atoms[0];
    atoms_.windowType = atoms[1];
    atoms_.windowPid = atoms[2];
    atoms_.windowState = atoms[3];
    atoms_.stateHidden = atoms[4];
    atoms_.typeNormal = atoms[5];
    atoms_.typeDialog = atoms[6];
    atoms_.rootPixmap = atoms[7];
    for (std::size_t i = 0; i < std::size(atoms_.otherTypes); ++i)
        atoms_.otherTypes[i] = atoms[8 + i];
    atoms_.frameExtents = atoms[20];

    const std::string manager = "_NET_WM_CM_S" + std::to_string(screenNumber_);
    XcbPtr<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection_,
        xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(manager.size()), manager.data()),
        nullptr));
    atoms_.compositingManager = reply ? reply->atom : XCB_NONE;
}

bool XcbSession::hasCompositingManager() const
{
    if (atoms_.compositingManager == XCB_NONE)
        return false;
    XcbPtr<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        connection_, xcb_get_selection_owner(connection_, atoms_.compositingManager), nullptr));
    return owner && owner->owner != XCB_NONE;
}

bool XcbSession::nativeImageByteOrder() const
{
    const bool littleEndian = std::endian::native == std::endian::little;
    return (xcb_get_setup(connection_)->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST)
        == littleEndian;
}

int XcbSession::bitsPerPixel(std::uint8_t depth) const
{
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem;
         xcb_format_next(&formats)) {
        if (formats.data->depth == depth)
            return formats.data->bits_per_pixel;
    }
    return 0;
}

void XcbSession::discardEvents() const
{
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_))
        std::free(event);
}

} // namespace kelpie
