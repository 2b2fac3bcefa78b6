// Proves the private X server the x11-labelled tests run against: a real
// window is mapped and its pixels are read back from the server.

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

template<typename T> using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

class XServerTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run me under tests/support/with-xvfb";
        connection = xcb_connect(nullptr, nullptr);
        ASSERT_EQ(xcb_connection_has_error(connection), 0);
        screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    }
    void TearDown() override { xcb_disconnect(connection); }

    xcb_window_t mapWindow(int x, int y, int width, int height, std::uint32_t pixel)
    {
        const xcb_window_t window = xcb_generate_id(connection);
        const std::uint32_t values[] = {pixel, 1, XCB_EVENT_MASK_EXPOSURE};
        xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root,
                          static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
                          static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
        xcb_map_window(connection, window);
        xcb_flush(connection);
        waitForExpose(window);
        return window;
    }

    void waitForExpose(xcb_window_t window)
    {
        while (xcb_generic_event_t* event = xcb_wait_for_event(connection)) {
            const bool exposed = (event->response_type & 0x7f) == XCB_EXPOSE
                && reinterpret_cast<xcb_expose_event_t*>(event)->window == window;
            std::free(event);
            if (exposed)
                return;
        }
        FAIL() << "connection lost before the window was exposed";
    }

    std::uint32_t rootPixel(int x, int y)
    {
        XcbReply<xcb_get_image_reply_t> reply(
            xcb_get_image_reply(connection,
                                xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root,
                                              static_cast<std::int16_t>(x),
                                              static_cast<std::int16_t>(y), 1, 1, ~0u),
                                nullptr),
            &std::free);
        EXPECT_NE(reply, nullptr);
        if (!reply || xcb_get_image_data_length(reply.get()) < 4)
            return 0;
        std::uint32_t value = 0;
        std::memcpy(&value, xcb_get_image_data(reply.get()), sizeof value);
        return value & 0x00ffffff;
    }

    xcb_connection_t* connection = nullptr;
    xcb_screen_t* screen = nullptr;
};

} // namespace

TEST_F(XServerTest, ServesAScreenOfTheRequestedSize)
{
    EXPECT_EQ(screen->width_in_pixels, 1920);
    EXPECT_EQ(screen->height_in_pixels, 1080);
    EXPECT_EQ(screen->root_depth, 24);
}

TEST_F(XServerTest, MappedWindowPixelsReadBack)
{
    mapWindow(100, 50, 40, 30, 0x0c22ff);
    mapWindow(120, 60, 40, 30, 0x80ff00); // overlaps the first, in front
    EXPECT_EQ(rootPixel(100, 50), 0x0c22ffu);
    EXPECT_EQ(rootPixel(119, 79), 0x0c22ffu);
    EXPECT_EQ(rootPixel(120, 60), 0x80ff00u);
    EXPECT_EQ(rootPixel(159, 89), 0x80ff00u);
    EXPECT_NE(rootPixel(99, 49), 0x0c22ffu);
}
