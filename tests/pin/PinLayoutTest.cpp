#include "pin/PinLayout.h"

#include <gtest/gtest.h>

using namespace kelpie;

namespace {

const Rect visible(0, 25, 1440, 875);
constexpr Size image{2000, 1000};

} // namespace

TEST(PinLayout, OneImagePixelPerDisplayPixelCentredOnTheScreen)
{
    EXPECT_EQ(PinLayout::frame(image, 2, visible, std::nullopt), Rect(220, 212.5, 1000, 500));
    // Scales below one count as one.
    EXPECT_EQ(PinLayout::frame(Size{400, 200}, 0.5, visible, std::nullopt),
              Rect(520, 362.5, 400, 200));
}

TEST(PinLayout, LargeImageShrinksToTheVisibleFrame)
{
    // min(875 / 1000, 1440 / 2000, 1) = 0.72
    EXPECT_EQ(PinLayout::frame(image, 1, visible, std::nullopt), Rect(0, 102.5, 1440, 720));
    // A tall image is bounded by the height.
    const Rect tall = PinLayout::frame(Size{500, 2000}, 1, visible, std::nullopt);
    EXPECT_DOUBLE_EQ(tall.height(), 875);
    EXPECT_DOUBLE_EQ(tall.width(), 875.0 / 4);
    EXPECT_EQ(tall.minY(), 25);
}

TEST(PinLayout, PreferredFrameKeepsWidthAndTopLeftAndIsPushedInside)
{
    // The image's aspect ratio wins over the preferred height.
    EXPECT_EQ(PinLayout::frame(image, 2, visible, Rect(100, 300, 600, 400)),
              Rect(100, 700 - 300, 600, 300));
    // Past the right and top edges: pushed back, width kept.
    EXPECT_EQ(PinLayout::frame(image, 2, visible, Rect(1200, 700, 600, 400)),
              Rect(1440 - 600, 900 - 300, 600, 300));
    // Past the left and bottom edges.
    EXPECT_EQ(PinLayout::frame(image, 2, visible, Rect(-50, -200, 600, 300)),
              Rect(0, 25, 600, 300));
    // On a screen whose visible frame does not start at the origin.
    EXPECT_EQ(PinLayout::frame(image, 2, Rect(1440, 25, 800, 600), Rect(100, 300, 600, 300)),
              Rect(1440, 300, 600, 300));
}

TEST(PinLayout, PreferredFrameWiderThanTheScreenIsScaledDown)
{
    const Rect r = PinLayout::frame(image, 2, visible, Rect(0, 0, 3000, 1500));
    EXPECT_EQ(r, Rect(0, 900 - 720, 1440, 720));
}

TEST(PinLayout, EmptyImageGivesAnEmptyFrameInsideTheScreen)
{
    const Rect r = PinLayout::frame(Size{0, 100}, 2, visible, std::nullopt);
    EXPECT_TRUE(r.isFinite());
    EXPECT_TRUE(r.isEmpty());
    EXPECT_TRUE(visible.contains(r.origin));
}
