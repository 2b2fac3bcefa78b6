// A window without background that the server dims as it first exposes
// it, on a real X server: what lay under the window shows darkened, except
// where it is to stay clear, without the toolkit drawing anything.

#include "platform/X11FirstFrame.h"

#include "tests/support/EventLoopWait.h"

#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

using namespace kelpie;
using kelpie::test::waitFor;

xcb_connection_t* connection()
{
    return qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
}

// A window the toolkit never draws into, so that what the server shows in
// it is all the server's own.
class Undrawn : public QWidget {
public:
    Undrawn()
        : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint)
    {
        setAttribute(Qt::WA_NativeWindow);
        setAttribute(Qt::WA_PaintOnScreen);
        setAttribute(Qt::WA_NoSystemBackground);
        setGeometry(40, 30, 200, 120);
    }
    QPaintEngine* paintEngine() const override { return nullptr; }
};

// The screen's pixel at a point of the root window.
std::uint32_t pixelAt(int x, int y)
{
    xcb_connection_t* c = connection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const std::unique_ptr<xcb_get_image_reply_t, decltype(&std::free)> reply(
        xcb_get_image_reply(c,
                            xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, root, std::int16_t(x),
                                          std::int16_t(y), 1, 1, ~0u),
                            nullptr),
        &std::free);
    return reply ? *reinterpret_cast<const std::uint32_t*>(xcb_get_image_data(reply.get())) & 0xffffff
                 : 0;
}

int channel(std::uint32_t pixel, int shift) { return int((pixel >> shift) & 0xff); }

TEST(X11FirstFrame, TheServerDimsWhatLiesUnderAWindowAsItFirstShowsIt)
{
    ASSERT_TRUE(X11FirstFrame::available());
    xcb_connection_t* c = connection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const std::uint32_t background = 0xc08040;
    xcb_change_window_attributes(c, root, XCB_CW_BACK_PIXEL, &background);
    xcb_clear_area(c, 0, root, 0, 0, 0, 0);
    xcb_flush(c);
    ASSERT_TRUE(waitFor([&] { return pixelAt(10, 10) == background; }));

    // Half-black over the background, with a clear square.
    Undrawn window;
    const QRect clear(20, 20, 30, 30);
    X11FirstFrame::dimWhenExposed(&window, QColor(0, 0, 0, 128), clear);
    EXPECT_EQ(X11FirstFrame::waiting(), 1);
    window.show();
    ASSERT_TRUE(waitFor([] { return X11FirstFrame::waiting() == 0; }));
    const double ratio = window.devicePixelRatioF();
    const QPoint origin = window.geometry().topLeft() * ratio;
    const std::uint32_t dimmed = pixelAt(origin.x() + int(100 * ratio), origin.y() + int(90 * ratio));
    EXPECT_NEAR(channel(dimmed, 16), 0xc0 / 2, 2);
    EXPECT_NEAR(channel(dimmed, 8), 0x80 / 2, 2);
    EXPECT_NEAR(channel(dimmed, 0), 0x40 / 2, 2);
    EXPECT_EQ(pixelAt(origin.x() + int(35 * ratio), origin.y() + int(35 * ratio)), background);

    // Shown again over a dimmed screen: nothing waits, so nothing darkens
    // it twice.
    X11FirstFrame::dimWhenExposed(&window, QColor(0, 0, 0, 128));
    EXPECT_EQ(X11FirstFrame::waiting(), 0);
    // A window hidden before the server showed it waits no more.
    Undrawn never;
    X11FirstFrame::dimWhenExposed(&never, QColor(0, 0, 0, 128));
    never.show();
    never.hide();
    EXPECT_TRUE(waitFor([] { return X11FirstFrame::waiting() == 0; }));
}

} // namespace
