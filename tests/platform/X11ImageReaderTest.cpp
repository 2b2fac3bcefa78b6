// Pixels read back from the X server, through shared memory and through
// plain GetImage alike: exact values, opaque 24-bit pixels, premultiplied
// 32-bit ones, and refusals instead of crashes for bad requests.

#include "platform/X11ImageReader.h"

#include "platform/XcbSession.h"

#include <QFile>
#include <QImage>

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <vector>

using namespace kelpie;

namespace {

std::uint32_t pattern(int x, int y)
{
    return std::uint32_t((x * 7 + y) & 0xff) << 16 | std::uint32_t(y * 5) << 8 | 0x11;
}

class X11ImageReaderTest : public ::testing::TestWithParam<X11ImageReader::Transport> {
protected:
    bool viaSharedMemory() const
    {
        return GetParam() == X11ImageReader::Transport::sharedMemoryWhereOffered;
    }

    void SetUp() override
    {
        ASSERT_TRUE(session.isOpen());
        if (viaSharedMemory()) {
            ASSERT_TRUE(session.hasShm());
        }
    }

    // A pixmap of the given depth whose pixel (x, y) is value(x, y).
    template<typename Value>
    xcb_pixmap_t pixmap(std::uint8_t depth, int width, int height, Value value)
    {
        xcb_connection_t* c = session.connection();
        const xcb_pixmap_t id = xcb_generate_id(c);
        xcb_create_pixmap(c, depth, id, session.root(), width, height);
        const xcb_gcontext_t gc = xcb_generate_id(c);
        xcb_create_gc(c, gc, id, 0, nullptr);
        std::vector<std::uint32_t> pixels;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x)
                pixels.push_back(value(x, y));
        }
        xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, id, gc, width, height, 0, 0, 0, depth,
                      pixels.size() * 4, reinterpret_cast<const std::uint8_t*>(pixels.data()));
        xcb_free_gc(c, gc);
        return id;
    }

    static std::uint32_t raw(const QImage& image, int x, int y)
    {
        return reinterpret_cast<const std::uint32_t*>(image.constScanLine(y))[x];
    }

    XcbSession session;
    X11ImageReader reader{session, GetParam()};
};

} // namespace

TEST_P(X11ImageReaderTest, ReadsExactOpaquePixelsOfAnyRectangle)
{
    // Depth 24 leaves the fourth byte to the server; the image must say 0xff.
    const xcb_pixmap_t id = pixmap(24, 64, 48, [](int x, int y) { return pattern(x, y); });
    const X11ImageReader::Result result = reader.read(id, 24, 3, 5, 17, 11);
    ASSERT_TRUE(result.ok()) << result.failure().detail;
    const QImage& image = result.value();
    ASSERT_EQ(image.size(), QSize(17, 11));
    ASSERT_EQ(image.format(), QImage::Format_RGB32);
    int wrong = 0;
    for (int y = 0; y < 11; ++y) {
        for (int x = 0; x < 17; ++x)
            wrong += raw(image, x, y) != (0xff00'0000u | pattern(x + 3, y + 5));
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(reader.usesSharedMemory(), viaSharedMemory());
}

TEST_P(X11ImageReaderTest, KeepsPremultipliedAlphaOfDeepPixmaps)
{
    const xcb_pixmap_t id = pixmap(32, 8, 8, [](int x, int y) {
        return x < 4 ? 0x8040'2010u : y < 4 ? 0x0000'0000u : 0xffff'ffffu;
    });
    const X11ImageReader::Result result = reader.read(id, 32, 0, 0, 8, 8);
    ASSERT_TRUE(result.ok());
    const QImage& image = result.value();
    EXPECT_EQ(image.format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(raw(image, 1, 1), 0x8040'2010u);
    EXPECT_EQ(raw(image, 5, 1), 0x0000'0000u);
    EXPECT_EQ(raw(image, 5, 5), 0xffff'ffffu);
}

TEST_P(X11ImageReaderTest, RefusesRectanglesOutsideTheDrawable)
{
    const xcb_pixmap_t id = pixmap(24, 16, 16, [](int, int) { return 0u; });
    EXPECT_EQ(reader.read(id, 24, 10, 10, 16, 16).error(), CaptureError::system);
    EXPECT_EQ(reader.read(id, 24, 0, 0, 0, 16).error(), CaptureError::system);
    EXPECT_EQ(reader.read(id, 16, 0, 0, 16, 16).error(), CaptureError::system);
    // Still good afterwards, on the same path.
    EXPECT_TRUE(reader.read(id, 24, 0, 0, 16, 16).ok());
    EXPECT_EQ(reader.usesSharedMemory(), viaSharedMemory());
}

// Shared-memory segments this process has mapped.
int mappedSegments()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return -1;
    return int(maps.readAll().count("SYSV"));
}

TEST_P(X11ImageReaderTest, TheSegmentIsIdleAfterEachReadAndGivenBackOnRequest)
{
    int idle = 0;
    reader.setOnSegmentIdle([&idle] { ++idle; });
    const xcb_pixmap_t id = pixmap(24, 64, 48, [](int x, int y) { return pattern(x, y); });
    const int before = mappedSegments();
    const int shared = viaSharedMemory() ? 1 : 0;
    const X11ImageReader::Result first = reader.read(id, 24, 0, 0, 64, 48);
    ASSERT_TRUE(first.ok());
    // The image has memory of its own: the segment is idle again at once,
    // kept mapped, and serves the next read.
    EXPECT_EQ(idle, shared);
    EXPECT_EQ(mappedSegments(), before + shared);
    ASSERT_TRUE(reader.read(id, 24, 0, 0, 64, 48).ok());
    EXPECT_EQ(mappedSegments(), before + shared) << "the second read made a segment of its own";

    reader.releaseIdleSegments();
    EXPECT_EQ(mappedSegments(), before);
    EXPECT_EQ(raw(first.value(), 3, 4), 0xff00'0000u | pattern(3, 4));
    // Reading goes on with a fresh segment, pixels exact.
    const X11ImageReader::Result again = reader.read(id, 24, 2, 2, 8, 8);
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(raw(again.value(), 3, 4), 0xff00'0000u | pattern(5, 6));
    EXPECT_EQ(reader.usesSharedMemory(), viaSharedMemory());
    reader.setOnSegmentIdle({});
}

// An image larger than a stripe of the shared segment (half a megabyte)
// comes in several, into alternate halves of the segment: every row of
// every stripe lands where it belongs, the last, shorter stripe included.
TEST_P(X11ImageReaderTest, ReadsImagesLargerThanAStripeWithoutSeams)
{
    const int width = 600;
    const int height = 500;
    const xcb_pixmap_t id
        = pixmap(24, width, height, [](int x, int y) { return pattern(x, y) ^ std::uint32_t(y); });
    const auto check = [&](int left, int top, int w, int h) {
        const X11ImageReader::Result result = reader.read(id, 24, left, top, w, h);
        if (!result.ok())
            return -1;
        int wrong = 0;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const std::uint32_t expected = pattern(x + left, y + top) ^ std::uint32_t(y + top);
                wrong += raw(result.value(), x, y) != (0xff00'0000u | expected);
            }
        }
        return wrong;
    };
    EXPECT_EQ(check(0, 0, width, height), 0);
    EXPECT_EQ(check(13, 7, width - 20, height - 9), 0);
    EXPECT_EQ(reader.usesSharedMemory(), viaSharedMemory());
}

TEST_P(X11ImageReaderTest, MemoryReadiedAheadServesTheNextReadAndIsReportedIdle)
{
    int idle = 0;
    reader.setOnSegmentIdle([&idle] { ++idle; });
    const xcb_pixmap_t id = pixmap(24, 64, 48, [](int x, int y) { return pattern(x, y); });
    const int before = mappedSegments();
    const int shared = viaSharedMemory() ? 1 : 0;
    reader.readyFor(64, 48);
    reader.readyFor(64, 48);
    // One segment, reported idle so that an unused one is given back in time.
    EXPECT_EQ(mappedSegments(), before + shared);
    EXPECT_EQ(idle, shared);
    {
        const X11ImageReader::Result image = reader.read(id, 24, 0, 0, 64, 48);
        ASSERT_TRUE(image.ok());
        EXPECT_EQ(mappedSegments(), before + shared) << "the read made a segment of its own";
        EXPECT_EQ(raw(image.value(), 63, 47), 0xff00'0000u | pattern(63, 47));
    }
    reader.releaseIdleSegments();
    EXPECT_EQ(mappedSegments(), before);
    reader.setOnSegmentIdle({});
}

std::string pathName(const ::testing::TestParamInfo<X11ImageReader::Transport>& path)
{
    return path.param == X11ImageReader::Transport::sharedMemoryWhereOffered ? "SharedMemory"
                                                                             : "GetImage";
}

INSTANTIATE_TEST_SUITE_P(SharedMemoryAndGetImage, X11ImageReaderTest,
                         ::testing::Values(X11ImageReader::Transport::sharedMemoryWhereOffered,
                                           X11ImageReader::Transport::getImageOnly),
                         pathName);
