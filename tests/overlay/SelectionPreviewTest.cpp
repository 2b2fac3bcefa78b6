#include "overlay/SelectionPreview.h"

#include "OverlayFixture.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace kelpie;

namespace {

int channelDistance(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b))});
}

QRgb dimmed(QRgb c)
{
    return qRgb(qRound(qRed(c) * 0.52), qRound(qGreen(c) * 0.52), qRound(qBlue(c) * 0.52));
}

// The renderings are kept beside the test for a person to look at.
void keep(const QImage& image, const QString& name)
{
    QDir().mkpath(QStringLiteral("overlay-preview"));
    image.save(QStringLiteral("overlay-preview/") + name);
}

} // namespace

TEST(SelectionPreview, DimsAroundTheSelectionAndDrawsItsDecorationsAtOneAndTwoTimes)
{
    for (const double ratio : {1.0, 2.0}) {
        SCOPED_TRACE(ratio);
        const auto fixture = test::makeDesktopFixture(1000, 700, ratio);
        SelectionPreview::Options options;
        options.devicePixelRatio = ratio;
        options.targets = fixture.windows;
        options.selection = Rect(200, 200, 400, 300);
        options.pointer = Point{450, 350};
        const QImage out = SelectionPreview::render(fixture.image, options);
        keep(out, QStringLiteral("selection-%1x.png").arg(int(ratio)));
        ASSERT_EQ(out.size(), fixture.image.size());

        auto pixelAt = [&](const QImage& image, double x, double yUp) {
            return image.pixel(int(x * ratio), int((700 - yUp) * ratio));
        };
        // Outside: the frozen image at 52 % brightness.
        EXPECT_LE(channelDistance(pixelAt(out, 100, 100), dimmed(pixelAt(fixture.image, 100, 100))),
                  1);
        // Inside, away from the magnifier: untouched.
        EXPECT_EQ(pixelAt(out, 300, 300), pixelAt(fixture.image, 300, 300));
        // The border runs along the selection's left edge.
        EXPECT_LE(
            channelDistance(pixelAt(out, 200, 300), CoreAppearance::captureBorder.light.rgb()), 40);
        // The magnifier shows the pointer pixel in its centre.
        const Rect square = Rect(470 + 10, 370 + 37, 110, 110);
        EXPECT_EQ(pixelAt(out, square.midX(), square.midY()),
                  fixture.image.pixel(int(450 * ratio), int((700 - 350) * ratio)));
    }
}

TEST(SelectionPreview, HighlightsAHoveredWindowAndFollowsTheAppearance)
{
    const auto fixture = test::makeDesktopFixture(1000, 700, 1);
    const QImage window = SelectionPreview::renderSelection(fixture.image, true);
    const QImage region = SelectionPreview::renderSelection(fixture.image, false);
    keep(window, QStringLiteral("window-highlight-1x.png"));
    keep(region, QStringLiteral("region-1x.png"));
    // The sample window covers the middle of the view, undimmed.
    EXPECT_EQ(window.pixel(400, 350), fixture.image.pixel(400, 350));
    EXPECT_NE(window.pixel(50, 650), fixture.image.pixel(50, 650));

    SelectionPreview::Options light;
    light.selection = Rect(0, 0, 1000, 700);
    SelectionPreview::Options dark = light;
    dark.appearance = CoreAppearance::Appearance::dark;
    const QImage lightImage = SelectionPreview::render(fixture.image, light);
    const QImage darkImage = SelectionPreview::render(fixture.image, dark);
    keep(darkImage, QStringLiteral("selection-dark-1x.png"));
    // The action panel's background, just inside its bottom-right corner.
    const QPoint panelCorner(1000 - 12 - 10, 700 - 12 - 4);
    EXPECT_EQ(lightImage.pixel(panelCorner), CoreAppearance::surface.light.rgb());
    EXPECT_EQ(darkImage.pixel(panelCorner), CoreAppearance::surface.dark.rgb());
}

TEST(SelectionPreview, TheActionPanelKeepsAnEdgeOverWhiteContent)
{
    QImage white(1000, 700, QImage::Format_RGB32);
    white.fill(Qt::white);
    SelectionPreview::Options options;
    options.selection = Rect(0, 0, 1000, 700);
    const QImage out = SelectionPreview::render(white, options);
    // The panel's bottom edge, 12 points above the view's bottom, half way
    // along the panel; just inside it the surface.
    const int x = 1000 - 12 - 100;
    const QRgb edge = out.pixel(x, 700 - 12 - 1);
    const QRgb surface = out.pixel(x, 700 - 12 - 4);
    EXPECT_EQ(surface, CoreAppearance::surface.light.rgb());
    EXPECT_GE(channelDistance(edge, qRgb(255, 255, 255)), 15);
    EXPECT_GE(channelDistance(edge, surface), 10);
}
