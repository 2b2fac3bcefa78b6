#include "capture/PixelLimits.h"

#include <gtest/gtest.h>

#include <limits>

namespace PixelLimits = kelpie::PixelLimits;

TEST(PixelLimits, AcceptsUpToEachBound)
{
    EXPECT_TRUE(PixelLimits::accepts(1, 1));
    EXPECT_TRUE(PixelLimits::accepts(32768, 2441));  // 79,986,688 pixels
    EXPECT_FALSE(PixelLimits::accepts(32768, 2442)); // 80,019,456 pixels
    EXPECT_FALSE(PixelLimits::accepts(32769, 1));
    EXPECT_FALSE(PixelLimits::accepts(1, 32769));
    EXPECT_TRUE(PixelLimits::accepts(10000, 8000)); // exactly 80,000,000
    EXPECT_FALSE(PixelLimits::accepts(10000, 8001));
    EXPECT_FALSE(PixelLimits::accepts(0, 100));
    EXPECT_FALSE(PixelLimits::accepts(100, -1));
    EXPECT_FALSE(PixelLimits::accepts(std::numeric_limits<double>::infinity(), 1));
    EXPECT_FALSE(PixelLimits::accepts(std::numeric_limits<double>::quiet_NaN(), 1));
}

TEST(PixelLimits, PixelSizeRoundsEachSideUp)
{
    EXPECT_EQ(PixelLimits::pixelSize(1440, 900, 2), (PixelLimits::PixelSize{2880, 1800}));
    EXPECT_EQ(PixelLimits::pixelSize(100.2, 50.5, 1.5), (PixelLimits::PixelSize{151, 76}));
    EXPECT_FALSE(PixelLimits::pixelSize(20000, 10000, 1));
    EXPECT_FALSE(PixelLimits::pixelSize(100, 100, 0));
}

TEST(PixelLimits, PixelSizeOfAFractionallyScaledDisplayIsItsDevicePixels)
{
    // Points worked out from the device size at a fractional ratio come back
    // to exactly that size, not one pixel more from rounding noise (601 / 1.1
    // × 1.1 is 601.0000000000001).
    int wrong = 0;
    for (const double ratio : {1.1, 1.2, 1.25, 1.3, 1.5, 1.75, 2.5}) {
        for (int pixels = 600; pixels <= 4000; ++pixels) {
            const auto size = PixelLimits::pixelSize(pixels / ratio, pixels / ratio, ratio);
            ASSERT_TRUE(size);
            wrong += size->width != pixels || size->height != pixels;
        }
    }
    EXPECT_EQ(wrong, 0);
    // A real fraction of a pixel still rounds up.
    EXPECT_EQ(PixelLimits::pixelSize(1093, 614, 1.25), (PixelLimits::PixelSize{1367, 768}));
}
