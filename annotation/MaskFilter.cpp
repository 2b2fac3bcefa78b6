#include "annotation/MaskFilter.h"

#include <QColorSpace>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <thread>
#include <vector>

namespace kelpie::MaskFilter {

namespace {

constexpr int channels = 4;

bool supported(const QImage& image)
{
    return image.format() == QImage::Format_RGBA8888_Premultiplied
        || image.format() == QImage::Format_ARGB32_Premultiplied;
}

bool validRegion(const QImage& image, const QRect& region)
{
    return supported(image) && !region.isEmpty() && image.rect().contains(region);
}

// Runs `work(begin, end)` over 0…count, split between the machine's cores
// when the job is large enough to be worth a thread.
template<typename Work> void parallelFor(int count, std::int64_t cost, Work work)
{
    constexpr std::int64_t costPerThread = 1 << 17;
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const int threads = static_cast<int>(
        std::clamp<std::int64_t>(cost / costPerThread, 1, std::min(cores, count)));
    if (threads <= 1) {
        work(0, count);
        return;
    }
    std::vector<std::thread> helpers;
    helpers.reserve(static_cast<std::size_t>(threads - 1));
    const auto bound
        = [&](int i) { return static_cast<int>(static_cast<std::int64_t>(count) * i / threads); };
    for (int i = 1; i < threads; ++i)
        helpers.emplace_back([&work, b = bound(i), e = bound(i + 1)] { work(b, e); });
    work(0, bound(1));
    for (std::thread& helper : helpers)
        helper.join();
}

// ---------------------------------------------------------------------------
// Pixelate

// A cell along one axis as the half-open range of pixel indices whose
// centres fall into it. Indices outside the image stand for its extended
// edge pixels.
struct Cell {
    int first;
    int end;
};

// The cells that cover pixels lo…hi−1, for cells of `size` starting at
// `origin`. A pixel belongs to the cell that holds its centre.
std::vector<Cell> cellsCovering(int lo, int hi, double origin, double size)
{
    // The whole part of the origin is added after rounding, so that moving
    // the image and the origin together by whole pixels moves every cell
    // boundary by exactly as much (a part of an image filters like the
    // whole).
    const double whole = std::floor(origin);
    const double fraction = origin - whole;
    const auto first = [&](std::int64_t c) {
        return static_cast<int>(whole + std::ceil(fraction + static_cast<double>(c) * size - 0.5));
    };
    auto c = static_cast<std::int64_t>(std::floor((lo + 0.5 - origin) / size));
    while (first(c) > lo)
        --c;
    while (first(c + 1) <= lo)
        ++c;
    std::vector<Cell> cells;
    for (;; ++c) {
        const int a = first(c);
        const int b = first(c + 1);
        cells.push_back({a, b});
        if (b >= hi)
            break;
    }
    return cells;
}

// ---------------------------------------------------------------------------
// Blur
//
// Values between passes are 16-bit fixed point with 8 fractional bits, so
// three passes round only once in 8-bit terms. Every pass is a running sum,
// so its cost does not depend on the radius, and every pass runs down the
// rows of a block whose row is a short contiguous run of components: the
// inner loops go along such a row and vectorise. Horizontal passes get that
// shape by interleaving a few image rows column by column; vertical passes
// work on narrow strips of columns that stay in cache through all three.

constexpr int fractionBits = 8;

// Scratch space, left uninitialised (every pass writes before it reads);
// null when it cannot be had.
template<typename T> std::unique_ptr<T[]> scratch(std::size_t count)
{
    return std::unique_ptr<T[]>(new (std::nothrow) T[count]);
}
// Image rows interleaved for the horizontal passes.
constexpr int rowsPerBlock = 8;
// Pixel columns per strip of the vertical passes.
constexpr int stripPixels = 64;

// One box pass down a block of rows, `stride` components apart, each
// `width` components wide: output row y is the mean of input rows
// y … y + 2r. `store(y, sums, scale)` writes output row y.
template<typename Store>
void boxPass(const std::uint16_t* in, std::size_t stride, int width, int outRows, int r,
             std::int32_t* sums, Store store)
{
    const int span = 2 * r + 1;
    const float scale = 1.0f / static_cast<float>(span);
    std::fill(sums, sums + width, 0);
    for (int j = 0; j < span; ++j) {
        const std::uint16_t* row = in + static_cast<std::size_t>(j) * stride;
        for (int k = 0; k < width; ++k)
            sums[k] += row[k];
    }
    for (int y = 0;; ++y) {
        store(y, sums, scale);
        if (y + 1 == outRows)
            break;
        const std::uint16_t* leaving = in + static_cast<std::size_t>(y) * stride;
        const std::uint16_t* entering = in + static_cast<std::size_t>(y + span) * stride;
        for (int k = 0; k < width; ++k)
            sums[k] += entering[k] - leaving[k];
    }
}

// A store that writes 16-bit rows `stride` apart.
auto storeRows(std::uint16_t* target, std::size_t stride, int width)
{
    return [=](int y, const std::int32_t* sums, float scale) {
        std::uint16_t* row = target + static_cast<std::size_t>(y) * stride;
        for (int k = 0; k < width; ++k)
            row[k] = static_cast<std::uint16_t>(static_cast<float>(sums[k]) * scale + 0.5f);
    };
}

} // namespace

QImage pixelate(const QImage& image, double cellSize, QPointF gridOrigin, const QRect& region)
{
    if (!validRegion(image, region) || !std::isfinite(gridOrigin.x())
        || !std::isfinite(gridOrigin.y()))
        return {};
    const double size = std::isfinite(cellSize) ? std::max(cellSize, 1.0) : 1.0;
    QImage out(region.size(), image.format());
    if (out.isNull())
        return {};
    out.setColorSpace(image.colorSpace());

    const int lastX = image.width() - 1;
    const int lastY = image.height() - 1;
    const std::vector<Cell> columns
        = cellsCovering(region.left(), region.right() + 1, gridOrigin.x(), size);
    const std::vector<Cell> rows
        = cellsCovering(region.top(), region.bottom() + 1, gridOrigin.y(), size);

    std::vector<std::uint64_t> sums(columns.size() * channels);
    std::vector<std::uint8_t> means(columns.size() * channels);
    for (const Cell& row : rows) {
        std::fill(sums.begin(), sums.end(), 0);
        for (int y = row.first; y < row.end; ++y) {
            const uchar* line = image.constScanLine(std::clamp(y, 0, lastY));
            for (std::size_t j = 0; j < columns.size(); ++j) {
                std::uint64_t* sum = &sums[j * channels];
                for (int x = columns[j].first; x < columns[j].end; ++x) {
                    const uchar* p = line + std::clamp(x, 0, lastX) * channels;
                    for (int c = 0; c < channels; ++c)
                        sum[c] += p[c];
                }
            }
        }
        // Rounded means of premultiplied components stay premultiplied.
        for (std::size_t j = 0; j < columns.size(); ++j) {
            const auto count = static_cast<std::uint64_t>(row.end - row.first)
                * static_cast<std::uint64_t>(columns[j].end - columns[j].first);
            for (int c = 0; c < channels; ++c)
                means[j * channels + c]
                    = static_cast<std::uint8_t>((sums[j * channels + c] + count / 2) / count);
        }
        const int y0 = std::max(row.first, region.top());
        const int y1 = std::min(row.end, region.bottom() + 1);
        for (int y = y0; y < y1; ++y) {
            auto* line = reinterpret_cast<std::uint32_t*>(out.scanLine(y - region.top()));
            for (std::size_t j = 0; j < columns.size(); ++j) {
                std::uint32_t pixel;
                std::memcpy(&pixel, &means[j * channels], sizeof pixel);
                const int x0 = std::max(columns[j].first, region.left());
                const int x1 = std::min(columns[j].end, region.right() + 1);
                std::fill(line + (x0 - region.left()), line + (x1 - region.left()), pixel);
            }
        }
    }
    return out;
}

std::array<int, 3> boxRadii(double sigma)
{
    // Three boxes of widths wl or wl + 2 (odd, so each has a centre), as many
    // of the narrower as bring the summed variance (w² − 1) / 12 closest to σ².
    constexpr int n = 3;
    if (!(sigma >= 0.5) || !std::isfinite(sigma))
        return {0, 0, 0};
    const double variance = sigma * sigma;
    int wl = static_cast<int>(std::floor(std::sqrt(12 * variance / n + 1)));
    if (wl % 2 == 0)
        --wl;
    const double m = (12 * variance - n * wl * wl - 4 * n * wl - 3 * n) / (-4 * wl - 4);
    const int narrow = static_cast<int>(std::lround(std::clamp(m, 0.0, double(n))));
    std::array<int, 3> radii{};
    for (int i = 0; i < n; ++i)
        radii[static_cast<std::size_t>(i)] = ((i < narrow ? wl : wl + 2) - 1) / 2;
    return radii;
}

int blurReach(double sigma)
{
    const std::array<int, 3> radii = boxRadii(sigma);
    return radii[0] + radii[1] + radii[2];
}

QImage gaussianBlur(const QImage& image, double sigma, const QRect& region)
{
    if (!validRegion(image, region))
        return {};
    const std::array<int, 3> radii = boxRadii(sigma);
    const int reach = radii[0] + radii[1] + radii[2];
    if (reach == 0)
        return image.copy(region);

    QImage out(region.size(), image.format());
    if (out.isNull())
        return {};
    out.setColorSpace(image.colorSpace());

    // Each pass is a "valid" convolution that shrinks its input by its
    // radius on either side, so the region grown by the whole reach, read
    // with clamped coordinates, yields exactly the region: no pass ever
    // sees a border other than the image's own extended edge.
    const int outWidth = region.width();
    const int outHeight = region.height();
    const int paddedWidth = outWidth + 2 * reach;
    const int paddedHeight = outHeight + 2 * reach;
    const std::size_t stride = static_cast<std::size_t>(outWidth) * channels;
    const auto horizontal = scratch<std::uint16_t>(stride * static_cast<std::size_t>(paddedHeight));
    if (!horizontal)
        return {};

    const int lastX = image.width() - 1;
    const int lastY = image.height() - 1;
    const int left = region.left() - reach;
    const int top = region.top() - reach;
    const std::int64_t cost = static_cast<std::int64_t>(paddedWidth) * paddedHeight;
    std::atomic<bool> failed = false;

    // Horizontal passes over blocks of interleaved rows, into `horizontal`:
    // outWidth × paddedHeight, stored strip by strip (each strip
    // stripPixels wide, the last one narrower) so that the vertical passes
    // read it front to back.
    const std::size_t stripSize = static_cast<std::size_t>(stripPixels) * channels * paddedHeight;
    const auto horizontalAt = [&](int row, int x) {
        const int strip = x / stripPixels;
        const int stripWidth = std::min(stripPixels, outWidth - strip * stripPixels) * channels;
        return horizontal.get() + static_cast<std::size_t>(strip) * stripSize
            + static_cast<std::size_t>(row) * stripWidth
            + static_cast<std::size_t>(x - strip * stripPixels) * channels;
    };
    const int blocks = (paddedHeight + rowsPerBlock - 1) / rowsPerBlock;
    parallelFor(blocks, cost, [&](int beginBlock, int endBlock) {
        constexpr int width = rowsPerBlock * channels;
        const std::size_t size = static_cast<std::size_t>(paddedWidth) * width;
        const auto a = scratch<std::uint16_t>(size);
        const auto b = scratch<std::uint16_t>(size);
        const auto sums = scratch<std::int32_t>(width);
        if (!a || !b || !sums) {
            failed = true;
            return;
        }
        for (int block = beginBlock; block < endBlock; ++block) {
            const int firstRow = block * rowsPerBlock;
            const int rowCount = std::min(rowsPerBlock, paddedHeight - firstRow);
            const uchar* lines[rowsPerBlock];
            for (int r = 0; r < rowsPerBlock; ++r)
                lines[r] = image.constScanLine(
                    std::clamp(top + firstRow + std::min(r, rowCount - 1), 0, lastY));
            for (int i = 0; i < paddedWidth; ++i) {
                const int x = std::clamp(left + i, 0, lastX) * channels;
                std::uint16_t* column = a.get() + static_cast<std::size_t>(i) * width;
                for (int r = 0; r < rowsPerBlock; ++r) {
                    for (int c = 0; c < channels; ++c)
                        column[r * channels + c]
                            = static_cast<std::uint16_t>(lines[r][x + c] << fractionBits);
                }
            }
            int length = paddedWidth - 2 * radii[0];
            boxPass(a.get(), width, width, length, radii[0], sums.get(),
                    storeRows(b.get(), width, width));
            length -= 2 * radii[1];
            boxPass(b.get(), width, width, length, radii[1], sums.get(),
                    storeRows(a.get(), width, width));
            // Back to row order on the way out.
            boxPass(a.get(), width, width, outWidth, radii[2], sums.get(),
                    [&](int x, const std::int32_t* s, float scale) {
                        for (int r = 0; r < rowCount; ++r) {
                            std::uint16_t* target = horizontalAt(firstRow + r, x);
                            for (int c = 0; c < channels; ++c)
                                target[c] = static_cast<std::uint16_t>(
                                    static_cast<float>(s[r * channels + c]) * scale + 0.5f);
                        }
                    });
        }
    });
    if (failed)
        return {};

    // Vertical passes over strips of columns, each strip through all three
    // passes while it is in cache, into the 8-bit result.
    const int rows1 = paddedHeight - 2 * radii[0];
    const int rows2 = rows1 - 2 * radii[1];
    uchar* const outBits = out.bits();
    const auto outStride = static_cast<std::size_t>(out.bytesPerLine());
    const int strips = (outWidth + stripPixels - 1) / stripPixels;
    parallelFor(strips, cost, [&](int beginStrip, int endStrip) {
        constexpr int stripWidth = stripPixels * channels;
        const auto v1 = scratch<std::uint16_t>(static_cast<std::size_t>(stripWidth) * rows1);
        const auto v2 = scratch<std::uint16_t>(static_cast<std::size_t>(stripWidth) * rows2);
        const auto sums = scratch<std::int32_t>(stripWidth);
        if (!v1 || !v2 || !sums) {
            failed = true;
            return;
        }
        for (int strip = beginStrip; strip < endStrip; ++strip) {
            const int firstPixel = strip * stripPixels;
            const int width = std::min(stripPixels, outWidth - firstPixel) * channels;
            const std::size_t offset = static_cast<std::size_t>(firstPixel) * channels;
            boxPass(horizontal.get() + static_cast<std::size_t>(strip) * stripSize, width, width,
                    rows1, radii[0], sums.get(), storeRows(v1.get(), stripWidth, width));
            boxPass(v1.get(), stripWidth, width, rows2, radii[1], sums.get(),
                    storeRows(v2.get(), stripWidth, width));
            boxPass(v2.get(), stripWidth, width, outHeight, radii[2], sums.get(),
                    [&](int y, const std::int32_t* s, float scale) {
                        uchar* row = outBits + static_cast<std::size_t>(y) * outStride + offset;
                        const float toByte = scale / (1 << fractionBits);
                        // Sums of premultiplied pixels keep every colour at most
                        // its alpha, and rounding each to the nearest step is
                        // monotonic, so the result stays premultiplied.
                        for (int k = 0; k < width; ++k)
                            row[k] = static_cast<uchar>(
                                std::min(static_cast<float>(s[k]) * toByte + 0.5f, 255.0f));
                    });
        }
    });
    if (failed)
        return {};
    return out;
}

} // namespace kelpie::MaskFilter
