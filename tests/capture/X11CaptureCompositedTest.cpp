// Capture under a compositing manager (xcompmgr with shadows, with and
// without fading): a window of this process leaves no trace in the frozen
// image, not even the shadow the compositing manager draws around it, nor
// while it fades out after being closed.

#include "X11CaptureFixture.h"

#include <QGuiApplication>
#include <QProcess>
#include <QScreen>

#include <xcb/xcb.h>

using namespace kelpie;
using namespace kelpie::testing;

namespace {

QScreen* primary() { return QGuiApplication::primaryScreen(); }

bool compositingManagerRuns()
{
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const char name[] = "_NET_WM_CM_S0";
    xcb_intern_atom_reply_t* atom
        = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr);
    xcb_get_selection_owner_reply_t* owner
        = xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr);
    const bool runs = owner && owner->owner != XCB_NONE;
    std::free(owner);
    std::free(atom);
    xcb_disconnect(c);
    return runs;
}

// The compositing manager's options: shadows, then shadows and fading.
class X11CaptureComposited : public X11CaptureFixture,
                             public ::testing::WithParamInterface<QStringList> {
protected:
    void SetUp() override
    {
        manager.start(QStringLiteral("xcompmgr"), GetParam());
        ASSERT_TRUE(manager.waitForStarted()) << "xcompmgr is not installed";
        ASSERT_TRUE(waitUntil(compositingManagerRuns));
        X11CaptureFixture::SetUp();
    }

    void TearDown() override
    {
        manager.terminate();
        manager.waitForFinished();
        waitUntil([] { return !compositingManagerRuns(); });
    }

    QProcess manager;
};

} // namespace

TEST_P(X11CaptureComposited, NeitherOurWindowNorItsShadowShows)
{
    const std::uint32_t under = host->create(QStringLiteral("0 0 1920 1080 000077 pattern"));
    ASSERT_NE(under, 0u);
    // Faded in completely.
    ASSERT_TRUE(waitUntil([] { return rootPixel(960, 540) == patternPixel(960, 540, 0x77); }));
    const DisplayCapture::Snapshot before = snapshot(primary());
    QString first;
    ASSERT_EQ(patternMismatches(before.image, QRect(0, 0, 1920, 1080), QPoint(0, 0), 0x77, &first),
              0)
        << first.toStdString();

    const QRect own(600, 400, 300, 200);
    const auto window = showOwnWindow(QColor(0xff00ff), own);
    // The shadow is on screen, beside the window.
    const QPoint shadow(own.right() + 5, own.center().y());
    ASSERT_TRUE(waitUntil([&] {
        return rootPixel(shadow.x(), shadow.y()) != patternPixel(shadow.x(), shadow.y(), 0x77);
    })) << "the compositing manager drew no shadow";

    const DisplayCapture::Snapshot shot = snapshot(primary());
    EXPECT_EQ(
        patternMismatches(shot.image, own.adjusted(-80, -80, 80, 80), QPoint(0, 0), 0x77, &first),
        0)
        << first.toStdString();
    EXPECT_EQ(shot.targets.size(), 1u);
}

TEST_P(X11CaptureComposited, OurWindowClosedJustBeforeTheCaptureDoesNotShow)
{
    const std::uint32_t under = host->create(QStringLiteral("0 0 1920 1080 000078 pattern"));
    ASSERT_NE(under, 0u);
    const QRect own(500, 300, 400, 300);
    auto window = showOwnWindow(QColor(0x00ffff), own);

    // Closed, and captured at once: the compositing manager may not have
    // repainted yet, or be fading the window out.
    window->hide();
    window.reset();
    const DisplayCapture::Snapshot shot = snapshot(primary());
    QString first;
    EXPECT_EQ(
        patternMismatches(shot.image, own.adjusted(-80, -80, 80, 80), QPoint(0, 0), 0x78, &first),
        0)
        << first.toStdString();
}

INSTANTIATE_TEST_SUITE_P(ShadowsAndFading, X11CaptureComposited,
                         ::testing::Values(QStringList{QStringLiteral("-c")},
                                           QStringList{QStringLiteral("-c"), QStringLiteral("-f")}),
                         [](const ::testing::TestParamInfo<QStringList>& options) {
                             return options.param.size() == 1 ? std::string("Shadows")
                                                              : std::string("ShadowsAndFading");
                         });
