// Capture under a window manager (openbox): application windows come from
// its stacking list and are seen through their frames.

#include "X11CaptureFixture.h"

#include <QGuiApplication>
#include <QScreen>

#include <xcb/xcb.h>

#include <algorithm>

using namespace kelpie;
using namespace kelpie::testing;

namespace {

QScreen* primary() { return QGuiApplication::primaryScreen(); }

std::vector<std::uint32_t> idsOf(const std::vector<WindowTarget>& targets)
{
    std::vector<std::uint32_t> ids;
    for (const WindowTarget& target : targets)
        ids.push_back(target.id);
    return ids;
}

// Where the server shows the client `id`, in root pixels.
QRect clientOnRoot(std::uint32_t id)
{
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    auto* geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, id), nullptr);
    auto* place
        = xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, id, root, 0, 0), nullptr);
    QRect result;
    if (geometry && place)
        result = QRect(place->dst_x, place->dst_y, geometry->width, geometry->height);
    std::free(geometry);
    std::free(place);
    xcb_disconnect(c);
    return result;
}

// A target's rectangle back in root pixels of a 1080-pixel-high screen.
QRect onRoot(const WindowTarget& target)
{
    return QRect(static_cast<int>(target.rect.minX()), static_cast<int>(1080 - target.rect.maxY()),
                 static_cast<int>(target.rect.width()), static_cast<int>(target.rect.height()));
}

class X11CaptureWm : public X11CaptureFixture { };

} // namespace

TEST_F(X11CaptureWm, TargetsAreFramesFrontToBackInTheManagersStacking)
{
    const std::uint32_t a = host->create(QStringLiteral("100 100 300 200 aa0000"));
    const std::uint32_t b = host->create(QStringLiteral("250 200 300 200 00aa00"));
    const std::uint32_t c = host->create(QStringLiteral("400 300 300 200 0000aa"));
    ASSERT_TRUE(a && b && c);
    ASSERT_TRUE(waitForTarget(c));
    std::vector<WindowTarget> targets = snapshot(primary()).targets;
    EXPECT_EQ(idsOf(targets), (std::vector<std::uint32_t>{c, b, a}));

    // Each target is the frame the user sees: the client plus decorations.
    for (const WindowTarget& target : targets) {
        const QRect client = clientOnRoot(target.id);
        EXPECT_TRUE(onRoot(target).contains(client)) << target.id;
        EXPECT_GT(target.rect.height(), client.height()) << "title bar";
    }

    ASSERT_TRUE(host->command(QStringLiteral("activate %1").arg(a)));
    EXPECT_TRUE(waitUntil([&] { return snapshot(primary()).targets.front().id == a; }));
    targets = snapshot(primary()).targets;
    EXPECT_EQ(idsOf(targets), (std::vector<std::uint32_t>{a, c, b}));
    // In the overlap of a and b the raised one is hit.
    const QRect overlap = onRoot(targets[0]).intersected(onRoot(targets[2]));
    ASSERT_FALSE(overlap.isEmpty());
    EXPECT_EQ(WindowTarget::hit(
                  Point{overlap.center().x() + 0.5, 1080 - overlap.center().y() - 0.5}, targets)
                  ->id,
              a);
}

TEST_F(X11CaptureWm, AFramedWindowOfThisProcessIsLeftOut)
{
    const std::uint32_t under = host->create(QStringLiteral("200 150 900 700 000088 pattern"));
    ASSERT_TRUE(waitForTarget(under));
    const QImage before = snapshot(primary()).image;

    const auto own = showOwnWindow(QColor(0xff00ff), QRect(400, 400, 300, 200));
    ASSERT_TRUE(waitUntil([&] { return own->frameGeometry() != own->geometry(); }))
        << "the window manager never framed our window";
    const QRect frame = own->frameGeometry();
    ASSERT_TRUE(QRect(200, 150, 900, 700).contains(frame));

    const DisplayCapture::Snapshot shot = snapshot(primary());
    EXPECT_EQ(shot.image.copy(frame), before.copy(frame))
        << "our window or its frame shows in the frozen image";
    EXPECT_EQ(idsOf(shot.targets), std::vector<std::uint32_t>{under});
}

TEST_F(X11CaptureWm, DocksAndMinimisedWindowsAreNoTargets)
{
    const std::uint32_t dock = host->create(QStringLiteral("0 0 1920 30 333333 type=dock"));
    const std::uint32_t shown = host->create(QStringLiteral("100 100 300 200 444444"));
    const std::uint32_t minimised = host->create(QStringLiteral("500 100 300 200 555555"));
    ASSERT_TRUE(dock && shown && minimised);
    ASSERT_TRUE(waitForTarget(minimised));
    ASSERT_TRUE(host->command(QStringLiteral("iconify %1").arg(minimised)));
    EXPECT_TRUE(waitUntil([&] {
        const auto ids = idsOf(snapshot(primary()).targets);
        return std::ranges::find(ids, minimised) == ids.end();
    }));
    EXPECT_EQ(idsOf(snapshot(primary()).targets), std::vector<std::uint32_t>{shown});
    const WindowCapture::Outcome outcome = captureWindow(minimised, host->pid());
    EXPECT_TRUE(!outcome.ok() && outcome.error() == WindowCapture::CaptureError::missing);
}

TEST_F(X11CaptureWm, AWindowIsCapturedWithItsFrame)
{
    const std::uint32_t id = host->create(QStringLiteral("300 200 400 300 000099 pattern"));
    const std::optional<WindowTarget> target = waitForTarget(id);
    ASSERT_TRUE(target);
    const WindowCapture::Outcome outcome = captureWindow(id, host->pid());
    const auto* window = (outcome.ok() ? &outcome.value() : nullptr);
    ASSERT_NE(window, nullptr);

    const QRect frame = onRoot(*target);
    EXPECT_EQ(window->image.size(), frame.size());
    EXPECT_EQ(window->quartzFrame, Rect(frame.x(), frame.y(), frame.width(), frame.height()));
    const QRect client = clientOnRoot(id).translated(-frame.topLeft());
    QString first;
    EXPECT_EQ(patternMismatches(window->image, client, client.topLeft(), 0x99, &first), 0)
        << first.toStdString();
}
