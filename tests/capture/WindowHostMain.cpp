// A separate X client that opens windows for the capture tests, so that they
// belong to another process than the test. It reads one command per line on
// stdin and answers each with one line on stdout:
//
//   create X Y W H RRGGBB [pattern] [override] [type=NAME] [pid=N|nopid]
//          [shadow=N]  (client-side shadow margins of N pixels on each side)
//          [unmapped]  (made but not shown)
//                                  -> "window ID" once mapped and drawn
//   map ID                         -> "ok" once mapped and drawn
//   move ID X Y | resize ID W H | raise ID | activate ID | iconify ID |
//   unmap ID | destroy ID          -> "ok" once the server has it
//   quit
//
// Solid windows are painted by the server from their background pixel;
// patterned ones draw TestPattern on every expose.

#include "TestPattern.h"

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <poll.h>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Window {
    int width = 0;
    int height = 0;
    std::uint32_t colour = 0;
    bool pattern = false;
    bool mapped = false;
    bool exposed = false;
};

xcb_connection_t* connection = nullptr;
xcb_screen_t* screen = nullptr;
std::map<xcb_window_t, Window> windows;

xcb_atom_t atom(const char* name)
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t result = reply ? reply->atom : XCB_NONE;
    std::free(reply);
    return result;
}

void draw(xcb_window_t id, const Window& w)
{
    const xcb_gcontext_t gc = xcb_generate_id(connection);
    xcb_create_gc(connection, gc, id, 0, nullptr);
    constexpr int band = 32;
    std::vector<std::uint32_t> pixels;
    for (int top = 0; top < w.height; top += band) {
        const int rows = std::min(band, w.height - top);
        pixels.resize(std::size_t(w.width) * rows);
        for (int y = 0; y < rows; ++y) {
            for (int x = 0; x < w.width; ++x)
                pixels[std::size_t(y) * w.width + x]
                    = kelpie::testing::patternPixel(x, top + y, w.colour);
        }
        xcb_put_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, id, gc, w.width, rows, 0, top, 0, 24,
                      pixels.size() * 4, reinterpret_cast<const std::uint8_t*>(pixels.data()));
    }
    xcb_free_gc(connection, gc);
}

void handle(xcb_generic_event_t* event)
{
    switch (event->response_type & 0x7f) {
    case XCB_EXPOSE: {
        auto* expose = reinterpret_cast<xcb_expose_event_t*>(event);
        auto found = windows.find(expose->window);
        if (found != windows.end()) {
            if (found->second.pattern && expose->count == 0)
                draw(expose->window, found->second);
            found->second.exposed = true;
        }
        break;
    }
    case XCB_MAP_NOTIFY: {
        auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
        if (auto found = windows.find(map->window); found != windows.end())
            found->second.mapped = true;
        break;
    }
    case XCB_UNMAP_NOTIFY: {
        auto* unmap = reinterpret_cast<xcb_unmap_notify_event_t*>(event);
        if (auto found = windows.find(unmap->window); found != windows.end())
            found->second.mapped = false;
        break;
    }
    default: break;
    }
    std::free(event);
}

void pump()
{
    xcb_flush(connection);
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection))
        handle(event);
}

void sync()
{
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    pump();
}

void waitUntilShown(xcb_window_t id)
{
    xcb_flush(connection);
    while (!(windows[id].mapped && windows[id].exposed)) {
        xcb_generic_event_t* event = xcb_wait_for_event(connection);
        if (!event)
            std::exit(2);
        handle(event);
    }
    sync();
}

void sendToRoot(xcb_window_t id, xcb_atom_t type, std::uint32_t d0, std::uint32_t d1)
{
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = id;
    message.type = type;
    message.data.data32[0] = d0;
    message.data.data32[1] = d1;
    xcb_send_event(connection, 0, screen->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
}

std::string create(std::istringstream& in)
{
    int x = 0, y = 0, width = 0, height = 0;
    std::string colour;
    in >> x >> y >> width >> height >> colour;
    Window w;
    w.width = width;
    w.height = height;
    w.colour = static_cast<std::uint32_t>(std::stoul(colour, nullptr, 16));
    bool overrideRedirect = false;
    std::string type;
    long pid = getpid();
    std::uint32_t shadow = 0;
    bool unmapped = false;
    for (std::string option; in >> option;) {
        if (option == "unmapped")
            unmapped = true;
        else if (option == "pattern")
            w.pattern = true;
        else if (option == "override")
            overrideRedirect = true;
        else if (option.rfind("type=", 0) == 0)
            type = option.substr(5);
        else if (option.rfind("pid=", 0) == 0)
            pid = std::stol(option.substr(4));
        else if (option == "nopid")
            pid = 0;
        else if (option.rfind("shadow=", 0) == 0)
            shadow = static_cast<std::uint32_t>(std::stoul(option.substr(7)));
    }

    const xcb_window_t id = xcb_generate_id(connection);
    windows[id] = w;
    const std::uint32_t values[] = {w.colour, overrideRedirect ? 1u : 0u,
                                    XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_STRUCTURE_NOTIFY};
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, id, screen->root, x, y, width, height, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    // Ask the window manager for exactly this place and size.
    std::uint32_t hints[18] = {};
    hints[0] = 1 | 2; // USPosition | USSize
    hints[1] = static_cast<std::uint32_t>(x);
    hints[2] = static_cast<std::uint32_t>(y);
    hints[3] = static_cast<std::uint32_t>(width);
    hints[4] = static_cast<std::uint32_t>(height);
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_NORMAL_HINTS,
                        XCB_ATOM_WM_SIZE_HINTS, 32, 18, hints);
    const std::string name = "capture test " + colour;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        name.size(), name.data());
    if (pid != 0) {
        const auto value = static_cast<std::uint32_t>(pid);
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, atom("_NET_WM_PID"),
                            XCB_ATOM_CARDINAL, 32, 1, &value);
    }
    if (shadow != 0) {
        const std::uint32_t extents[] = {shadow, shadow, shadow, shadow};
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, atom("_GTK_FRAME_EXTENTS"),
                            XCB_ATOM_CARDINAL, 32, 4, extents);
    }
    if (!type.empty()) {
        std::string typeName = "_NET_WM_WINDOW_TYPE_" + type;
        for (char& ch : typeName)
            ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        const xcb_atom_t value = atom(typeName.c_str());
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, atom("_NET_WM_WINDOW_TYPE"),
                            XCB_ATOM_ATOM, 32, 1, &value);
    }
    if (unmapped) {
        sync();
        return "window " + std::to_string(id);
    }
    xcb_map_window(connection, id);
    waitUntilShown(id);
    return "window " + std::to_string(id);
}

std::string run(const std::string& line)
{
    std::istringstream in(line);
    std::string verb;
    in >> verb;
    if (verb == "create")
        return create(in);
    xcb_window_t id = 0;
    in >> id;
    if (verb == "map") {
        if (windows.find(id) == windows.end())
            return "error unknown window";
        windows[id].exposed = false;
        xcb_map_window(connection, id);
        waitUntilShown(id);
        return "ok";
    }
    if (verb == "resize") {
        int width = 0, height = 0;
        in >> width >> height;
        const std::uint32_t values[]
            = {static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)};
        xcb_configure_window(connection, id, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
                             values);
        if (auto found = windows.find(id); found != windows.end()) {
            found->second.width = width;
            found->second.height = height;
        }
    } else if (verb == "move") {
        int x = 0, y = 0;
        in >> x >> y;
        const std::uint32_t values[]
            = {static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y)};
        xcb_configure_window(connection, id, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, values);
    } else if (verb == "raise") {
        const std::uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(connection, id, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    } else if (verb == "activate") {
        sendToRoot(id, atom("_NET_ACTIVE_WINDOW"), 2, XCB_CURRENT_TIME);
    } else if (verb == "iconify") {
        sendToRoot(id, atom("WM_CHANGE_STATE"), 3, 0);
    } else if (verb == "unmap") {
        xcb_unmap_window(connection, id);
    } else if (verb == "destroy") {
        xcb_destroy_window(connection, id);
        windows.erase(id);
    } else {
        return "error unknown command";
    }
    sync();
    return "ok";
}

} // namespace

int main()
{
    connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection))
        return 2;
    screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    std::string pending;
    for (;;) {
        pollfd fds[]
            = {{STDIN_FILENO, POLLIN, 0}, {xcb_get_file_descriptor(connection), POLLIN, 0}};
        pump();
        if (poll(fds, 2, -1) < 0)
            return 2;
        pump();
        if (!(fds[0].revents & (POLLIN | POLLHUP)))
            continue;
        char buffer[4096];
        const ssize_t count = read(STDIN_FILENO, buffer, sizeof buffer);
        if (count <= 0)
            return 0;
        pending.append(buffer, static_cast<std::size_t>(count));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (line == "quit")
                return 0;
            std::printf("%s\n", run(line).c_str());
        }
    }
}
