#include "verification/DisplayFixture.h"

#include <QTransform>

#include <gtest/gtest.h>

namespace {

using namespace kelpie;

// The corner check is what tells a capture that is whole and upright from
// one that is cut, mirrored or turned.
TEST(DisplayFixture, CornersTellAWholeUprightCaptureFromAWrongOne)
{
    const QImage fixture = DisplayFixture::draw(QSize(960, 540), 1);
    EXPECT_TRUE(DisplayFixture::cornersValid(fixture));
    EXPECT_TRUE(DisplayFixture::cornersValid(DisplayFixture::draw(QSize(1920, 1080), 2)));
    // A colour conversion's small shift is tolerated.
    EXPECT_TRUE(DisplayFixture::cornersValid(fixture.convertToFormat(QImage::Format_RGB16)));

    EXPECT_FALSE(DisplayFixture::cornersValid(fixture.mirrored(true, false)));
    EXPECT_FALSE(DisplayFixture::cornersValid(fixture.mirrored(false, true)));
    EXPECT_FALSE(DisplayFixture::cornersValid(fixture.transformed(QTransform().rotate(180))));
    EXPECT_FALSE(DisplayFixture::cornersValid(fixture.copy(0, 0, 700, 540)));  // cut on the right
    EXPECT_FALSE(DisplayFixture::cornersValid(fixture.copy(0, 10, 960, 530))); // cut at the top
    EXPECT_FALSE(DisplayFixture::cornersValid(fixture.scaled(480, 270)));      // resampled
    EXPECT_FALSE(DisplayFixture::cornersValid(QImage()));
}

} // namespace
