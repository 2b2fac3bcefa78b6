#include "editor/PngEncoder.h"

#include "core/PagePopulation.h"

#include <QThread>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

namespace kelpie {

namespace {

// Bytes that a resize leaves as they are instead of zeroing them: every
// buffer here is written before it is read, and zeroing a fresh
// screen-sized buffer faults in all of its pages, most of which an output
// buffer never needs.
template<typename T> struct UninitializedAllocator : std::allocator<T> {
    template<typename U> struct rebind {
        using other = UninitializedAllocator<U>;
    };
    UninitializedAllocator() = default;
    template<typename U> UninitializedAllocator(const UninitializedAllocator<U>&) noexcept { }
    template<typename U> void construct(U* p) noexcept { ::new (static_cast<void*>(p)) U; }
    template<typename U, typename... Args> void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
using Bytes = std::vector<unsigned char, UninitializedAllocator<unsigned char>>;

constexpr std::array<unsigned char, 8> signature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

void appendBigEndian(QByteArray& out, quint32 value)
{
    const char bytes[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                           static_cast<char>(value >> 8), static_cast<char>(value)};
    out.append(bytes, 4);
}

// A chunk: length, type, data, and the CRC-32 of type and data.
void appendChunk(QByteArray& out, const char (&type)[5], const unsigned char* data, size_t size)
{
    appendBigEndian(out, static_cast<quint32>(size));
    const qsizetype typeAt = out.size();
    out.append(type, 4);
    if (size > 0)
        out.append(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto* crcStart = reinterpret_cast<const unsigned char*>(out.constData() + typeAt);
    appendBigEndian(out, crc32_gzip_refl(0, crcStart, size + 4));
}

unsigned char paethPredictor(int left, int above, int aboveLeft)
{
    const int estimate = left + above - aboveLeft;
    const int toLeft = std::abs(estimate - left);
    const int toAbove = std::abs(estimate - above);
    const int toAboveLeft = std::abs(estimate - aboveLeft);
    if (toLeft <= toAbove && toLeft <= toAboveLeft)
        return static_cast<unsigned char>(left);
    if (toAbove <= toAboveLeft)
        return static_cast<unsigned char>(above);
    return static_cast<unsigned char>(aboveLeft);
}

// Writes one filtered row, filter byte first. `above` is the previous row,
// null for the first row, which PNG predicts from zeros.
void filterRow(PngEncoder::Filter filter, const unsigned char* row, const unsigned char* above,
               size_t length, size_t bytesPerPixel, unsigned char* out)
{
    using Filter = PngEncoder::Filter;
    if (!above && filter == Filter::up)
        filter = Filter::none; // Up from zeros is the row itself.
    if (!above && filter == Filter::paeth)
        filter = Filter::sub; // Paeth from zeros predicts from the left.
    out[0] = static_cast<unsigned char>(filter);
    unsigned char* target = out + 1;
    switch (filter) {
    case Filter::none: std::memcpy(target, row, length); break;
    case Filter::sub:
        std::memcpy(target, row, bytesPerPixel);
        for (size_t i = bytesPerPixel; i < length; ++i)
            target[i] = static_cast<unsigned char>(row[i] - row[i - bytesPerPixel]);
        break;
    case Filter::up:
        for (size_t i = 0; i < length; ++i)
            target[i] = static_cast<unsigned char>(row[i] - above[i]);
        break;
    case Filter::paeth:
        for (size_t i = 0; i < bytesPerPixel; ++i)
            target[i] = static_cast<unsigned char>(row[i] - above[i]);
        for (size_t i = bytesPerPixel; i < length; ++i)
            target[i] = static_cast<unsigned char>(
                row[i]
                - paethPredictor(row[i - bytesPerPixel], above[i], above[i - bytesPerPixel]));
        break;
    }
}

// Formats whose pixels are 0xAARRGGBB words; when every alpha is 255 their
// colour bytes are the straight colour, premultiplied or not.
bool isRgb32(QImage::Format format)
{
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32
        || format == QImage::Format_ARGB32_Premultiplied;
}

// Packs a row of 0xAARRGGBB words into RGB bytes; returns the AND of
// their alpha bytes (255 when the row is opaque).
quint32 packRgb(const quint32* pixels, size_t width, unsigned char* out)
{
    quint32 alpha = 0xff000000u;
    for (size_t x = 0; x < width; ++x) {
        const quint32 pixel = pixels[x];
        alpha &= pixel;
        out[0] = static_cast<unsigned char>(pixel >> 16);
        out[1] = static_cast<unsigned char>(pixel >> 8);
        out[2] = static_cast<unsigned char>(pixel);
        out += 3;
    }
    return alpha >> 24;
}

// Where a slice's rows come from: packed out of 0xAARRGGBB words (the
// usual composite, read once with no converted copy), or straight from an
// image already in PNG byte order.
struct RowSource {
    const QImage* image = nullptr;
    bool packFromRgb32 = false;
    size_t rowLength = 0;
    size_t bytesPerPixel = 3;

    // The row's bytes in PNG order; `scratch` holds them when packing.
    // Sets `opaque` to false when a packed row has a pixel that is not.
    const unsigned char* row(int y, unsigned char* scratch, bool& opaque) const
    {
        if (!packFromRgb32)
            return image->constScanLine(y);
        const quint32 alpha = packRgb(reinterpret_cast<const quint32*>(image->constScanLine(y)),
                                      static_cast<size_t>(image->width()), scratch);
        if (image->hasAlphaChannel() && alpha != 0xff)
            opaque = false;
        return scratch;
    }
};

// A band of rows filtered and deflated on its own, so bands can be worked
// on in parallel. Each band but the last ends with a full flush: byte
// aligned and with no back references into it, so the bands' deflate
// streams join into one.
struct Band {
    int firstRow = 0;
    int endRow = 0;
    bool last = false;
    Bytes filtered;
    Bytes deflated;
    bool opaque = true;
    bool ok = false;
};

// Raw DEFLATE of `input` into `output`; false on failure.
bool deflateBand(const Bytes& input, bool last, int level, Bytes& output)
{
    static constexpr std::array<size_t, 4> levelBufferSizes{
        ISAL_DEF_LVL0_DEFAULT, ISAL_DEF_LVL1_DEFAULT, ISAL_DEF_LVL2_DEFAULT, ISAL_DEF_LVL3_DEFAULT};
    level = std::clamp(level, 0, 3);
    Bytes levelBuffer(levelBufferSizes[static_cast<size_t>(level)]);
    // Screenshots shrink well; the buffer grows when they do not.
    output.resize(input.size() / 2 + 1024);

    isal_zstream stream;
    isal_deflate_init(&stream);
    stream.level = static_cast<uint32_t>(level);
    stream.level_buf = levelBuffer.data();
    stream.level_buf_size = static_cast<uint32_t>(levelBuffer.size());
    stream.gzip_flag = IGZIP_DEFLATE;
    stream.flush = last ? NO_FLUSH : FULL_FLUSH;
    stream.avail_in = 0;
    stream.avail_out = 0;
    size_t fed = 0;
    size_t written = 0;
    // The stream's counts are 32-bit: input and output go in pieces.
    constexpr size_t piece = size_t{1} << 30;
    for (;;) {
        const bool inputDone = fed == input.size() && stream.avail_in == 0;
        // The last band ends the stream; the others end once the flush has
        // written everything out (output room left over after the call).
        if (last ? stream.internal_state.state == ZSTATE_END
                 : inputDone && stream.avail_out > 0 && written > 0
                    && stream.internal_state.state == ZSTATE_NEW_HDR)
            break;
        if (stream.avail_out == 0) {
            if (written == output.size())
                output.resize(output.size() * 2);
            stream.next_out = output.data() + written;
            stream.avail_out = static_cast<uint32_t>(std::min(output.size() - written, piece));
        }
        if (stream.avail_in == 0 && fed < input.size()) {
            const size_t length = std::min(input.size() - fed, piece);
            stream.next_in = const_cast<uint8_t*>(input.data() + fed);
            stream.avail_in = static_cast<uint32_t>(length);
            fed += length;
            stream.end_of_stream = last && fed == input.size() ? 1 : 0;
        }
        const uint32_t outputBefore = stream.avail_out;
        const uint32_t inputBefore = stream.avail_in;
        if (isal_deflate(&stream) != COMP_OK)
            return false;
        written += outputBefore - stream.avail_out;
        const bool stalled = stream.avail_out == outputBefore && stream.avail_in == inputBefore
            && stream.avail_out > 0;
        if (stalled && (last || stream.internal_state.state != ZSTATE_NEW_HDR))
            return false;
        if (stalled)
            break;
    }
    output.resize(written);
    return true;
}

void workOnBand(const RowSource& source, PngEncoder::Filter filter, int level, Band& band)
{
    const size_t stride = source.rowLength + 1;
    band.filtered.resize(stride * static_cast<size_t>(band.endRow - band.firstRow));
    // Every byte is written below; its pages come in at once.
    populatePages(band.filtered.data(), band.filtered.size());
    Bytes scratch[2] = {Bytes(source.rowLength), Bytes(source.rowLength)};
    // Packed rows alternate between the two scratch rows; the row above
    // the band starts in the second.
    const unsigned char* above = nullptr;
    if (band.firstRow > 0)
        above = source.row(band.firstRow - 1, scratch[1].data(), band.opaque);
    size_t current = 0;
    for (int y = band.firstRow; y < band.endRow; ++y, current ^= 1) {
        const unsigned char* row = source.row(y, scratch[current].data(), band.opaque);
        if (!band.opaque)
            return;
        filterRow(filter, row, above, source.rowLength, source.bytesPerPixel,
                  band.filtered.data() + static_cast<size_t>(y - band.firstRow) * stride);
        above = row;
    }
    band.ok = deflateBand(band.filtered, band.last, level, band.deflated);
}

// The bands for `height` rows of `rowBytes` each: about 2 MB of pixels per
// band, no more bands than threads (or than `requested`, when given).
std::vector<Band> bandsFor(int height, size_t rowBytes, int requested)
{
    int count = requested;
    if (count <= 0) {
        const size_t total = rowBytes * static_cast<size_t>(height);
        const size_t bySize = std::max<size_t>(1, total / (size_t{2} << 20));
        count
            = static_cast<int>(std::min<size_t>(bySize, std::max(1, QThread::idealThreadCount())));
    }
    count = std::clamp(count, 1, std::max(1, height));
    std::vector<Band> bands;
    for (int i = 0; i < count; ++i) {
        Band band;
        band.firstRow = static_cast<int>(qint64(height) * i / count);
        band.endRow = static_cast<int>(qint64(height) * (i + 1) / count);
        band.last = i == count - 1;
        bands.push_back(std::move(band));
    }
    return bands;
}

// Filters and deflates all rows of `source`, the bands in parallel; the
// zlib stream of the whole, or absent when a band failed or a packed row
// turned out not to be opaque (`opaque` tells which).
std::optional<std::vector<unsigned char>> zlibStream(const RowSource& source, int height,
                                                     const PngEncoder::Options& options,
                                                     bool& opaque)
{
    std::vector<Band> bands = bandsFor(height, source.rowLength, options.bands);
    std::vector<std::thread> helpers;
    for (size_t i = 1; i < bands.size(); ++i)
        helpers.emplace_back(workOnBand, std::cref(source), options.filter, options.level,
                             std::ref(bands[i]));
    workOnBand(source, options.filter, options.level, bands[0]);
    for (std::thread& helper : helpers)
        helper.join();

    opaque = std::all_of(bands.begin(), bands.end(), [](const Band& b) { return b.opaque; });
    if (!opaque || !std::all_of(bands.begin(), bands.end(), [](const Band& b) { return b.ok; }))
        return std::nullopt;

    // zlib header (deflate, 32 KB window, fastest), the bands, and the
    // Adler-32 of everything that was compressed.
    std::vector<unsigned char> stream{0x78, 0x01};
    uint32_t adler = 1;
    for (const Band& band : bands) {
        stream.insert(stream.end(), band.deflated.begin(), band.deflated.end());
        adler = isal_adler32(adler, band.filtered.data(), band.filtered.size());
    }
    for (const int shift : {24, 16, 8, 0})
        stream.push_back(static_cast<unsigned char>(adler >> shift));
    return stream;
}

} // namespace

bool PngEncoder::isOpaque(const QImage& image)
{
    if (!image.hasAlphaChannel())
        return true;
    const QImage pixels
        = isRgb32(image.format()) ? image : image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < pixels.height(); ++y) {
        const auto* line = reinterpret_cast<const quint32*>(pixels.constScanLine(y));
        quint32 all = 0xff000000u;
        for (int x = 0; x < pixels.width(); ++x)
            all &= line[x];
        if ((all >> 24) != 0xff)
            return false;
    }
    return true;
}

std::optional<QByteArray> PngEncoder::encode(const QImage& image)
{
    return encode(image, Options{});
}

std::optional<QByteArray> PngEncoder::encode(const QImage& image, const Options& options)
{
    if (image.isNull())
        return std::nullopt;
    // The filtered rows must fit in memory with room to spare for the
    // compressor (captures are at most 32768 pixels a side anyway).
    const double filteredSize = (image.width() * 4.0 + 1.0) * image.height();
    if (filteredSize > double(std::numeric_limits<qsizetype>::max()) / 2)
        return std::nullopt;

    std::optional<std::vector<unsigned char>> compressed;
    bool opaque = true;
    if (isRgb32(image.format())) {
        // Assumed opaque, packed straight from the composite; a pixel that
        // is not sends the image down the general road below.
        const RowSource packed{&image, true, static_cast<size_t>(image.width()) * 3, 3};
        compressed = zlibStream(packed, image.height(), options, opaque);
        if (!compressed && opaque)
            return std::nullopt;
    }
    if (!compressed) {
        opaque = isOpaque(image);
        const QImage::Format wanted = opaque ? QImage::Format_RGB888 : QImage::Format_RGBA8888;
        const QImage pixels = image.format() == wanted ? image : image.convertToFormat(wanted);
        if (pixels.isNull())
            return std::nullopt;
        const size_t bytesPerPixel = opaque ? 3 : 4;
        const RowSource converted{
            &pixels, false, static_cast<size_t>(pixels.width()) * bytesPerPixel, bytesPerPixel};
        bool unused = true;
        compressed = zlibStream(converted, pixels.height(), options, unused);
        if (!compressed)
            return std::nullopt;
    }

    const quint32 w = static_cast<quint32>(image.width());
    const quint32 h = static_cast<quint32>(image.height());
    const unsigned char header[13]
        = {static_cast<unsigned char>(w >> 24),
           static_cast<unsigned char>(w >> 16),
           static_cast<unsigned char>(w >> 8),
           static_cast<unsigned char>(w),
           static_cast<unsigned char>(h >> 24),
           static_cast<unsigned char>(h >> 16),
           static_cast<unsigned char>(h >> 8),
           static_cast<unsigned char>(h),
           8,                                          // bits per channel
           static_cast<unsigned char>(opaque ? 2 : 6), // truecolour, with alpha or not
           0,                                          // deflate
           0,                                          // adaptive filtering
           0};                                         // not interlaced

    QByteArray out;
    const std::vector<unsigned char>& zlib = *compressed;
    out.reserve(static_cast<qsizetype>(zlib.size() + 64));
    out.append(reinterpret_cast<const char*>(signature.data()), signature.size());
    appendChunk(out, "IHDR", header, sizeof header);
    // A chunk holds less than 2^31 bytes; long streams are split.
    constexpr size_t maximumChunk = 1u << 30;
    for (size_t offset = 0; offset < zlib.size(); offset += maximumChunk)
        appendChunk(out, "IDAT", zlib.data() + offset,
                    std::min(maximumChunk, zlib.size() - offset));
    appendChunk(out, "IEND", nullptr, 0);
    return out;
}

} // namespace kelpie
