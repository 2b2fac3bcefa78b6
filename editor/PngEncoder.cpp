#include "editor/PngEncoder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#include <limits>
#include <vector>

namespace kelpie {

namespace {

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

// Every row filtered into one buffer, ready for compression.
struct FilteredRows {
    std::vector<unsigned char> bytes;
    bool opaque = true;
};

// One pass over an RGB32/ARGB32 image: packed into RGB bytes and filtered
// row by row, so no converted copy is made. Absent as soon as a pixel turns
// out not to be opaque.
std::optional<FilteredRows> filterOpaqueRgb32(const QImage& image, PngEncoder::Filter filter)
{
    const bool checkAlpha = image.hasAlphaChannel();
    const size_t width = static_cast<size_t>(image.width());
    const size_t rowLength = width * 3;
    FilteredRows rows;
    rows.bytes.resize((rowLength + 1) * static_cast<size_t>(image.height()));
    std::vector<unsigned char> packed[2]
        = {std::vector<unsigned char>(rowLength), std::vector<unsigned char>(rowLength)};
    for (int y = 0; y < image.height(); ++y) {
        unsigned char* row = packed[y % 2].data();
        const quint32 alpha
            = packRgb(reinterpret_cast<const quint32*>(image.constScanLine(y)), width, row);
        if (checkAlpha && alpha != 0xff)
            return std::nullopt;
        const unsigned char* above = y > 0 ? packed[(y + 1) % 2].data() : nullptr;
        filterRow(filter, row, above, rowLength, 3,
                  rows.bytes.data() + static_cast<size_t>(y) * (rowLength + 1));
    }
    return rows;
}

// Any format: converted by Qt to RGB888 (opaque) or RGBA8888 (straight
// alpha, 8 bits per channel), then filtered.
FilteredRows filterConverted(const QImage& image, PngEncoder::Filter filter, bool opaque)
{
    const QImage::Format wanted = opaque ? QImage::Format_RGB888 : QImage::Format_RGBA8888;
    const QImage pixels = image.format() == wanted ? image : image.convertToFormat(wanted);
    FilteredRows rows;
    rows.opaque = opaque;
    if (pixels.isNull())
        return rows;
    const size_t bytesPerPixel = opaque ? 3 : 4;
    const size_t rowLength = static_cast<size_t>(pixels.width()) * bytesPerPixel;
    rows.bytes.resize((rowLength + 1) * static_cast<size_t>(pixels.height()));
    for (int y = 0; y < pixels.height(); ++y) {
        const unsigned char* above = y > 0 ? pixels.constScanLine(y - 1) : nullptr;
        filterRow(filter, pixels.constScanLine(y), above, rowLength, bytesPerPixel,
                  rows.bytes.data() + static_cast<size_t>(y) * (rowLength + 1));
    }
    return rows;
}

// The zlib stream of the filtered rows; empty when compression fails.
std::vector<unsigned char> compress(const std::vector<unsigned char>& input, int level)
{
    static constexpr std::array<size_t, 4> levelBufferSizes{
        ISAL_DEF_LVL0_DEFAULT, ISAL_DEF_LVL1_DEFAULT, ISAL_DEF_LVL2_DEFAULT, ISAL_DEF_LVL3_DEFAULT};
    level = std::clamp(level, 0, 3);
    std::vector<uint8_t> levelBuffer(levelBufferSizes[static_cast<size_t>(level)]);
    // Screenshots shrink well; the buffer grows when they do not.
    std::vector<unsigned char> output(input.size() / 2 + 1024);

    isal_zstream stream;
    isal_deflate_init(&stream);
    stream.level = static_cast<uint32_t>(level);
    stream.level_buf = levelBuffer.data();
    stream.level_buf_size = static_cast<uint32_t>(levelBuffer.size());
    stream.gzip_flag = IGZIP_ZLIB;
    stream.flush = NO_FLUSH;
    stream.avail_in = 0;
    stream.avail_out = 0;
    size_t fed = 0;
    size_t written = 0;
    // The stream's counts are 32-bit: input and output go in pieces.
    constexpr size_t piece = size_t{1} << 30;
    while (stream.internal_state.state != ZSTATE_END) {
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
            stream.end_of_stream = fed == input.size() ? 1 : 0;
        }
        const uint32_t outputBefore = stream.avail_out;
        const uint32_t inputBefore = stream.avail_in;
        if (isal_deflate(&stream) != COMP_OK)
            return {};
        written += outputBefore - stream.avail_out;
        const bool stalled = stream.avail_out == outputBefore && stream.avail_in == inputBefore
            && stream.avail_out > 0 && stream.internal_state.state != ZSTATE_END;
        if (stalled)
            return {};
    }
    output.resize(written);
    return output;
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
    // The filtered rows must fit one buffer with room to spare for the
    // compressor (captures are at most 32768 pixels a side anyway).
    const double filteredSize = (image.width() * 4.0 + 1.0) * image.height();
    if (filteredSize > double(std::numeric_limits<qsizetype>::max()) / 2)
        return std::nullopt;

    std::optional<FilteredRows> rows;
    if (isRgb32(image.format()))
        rows = filterOpaqueRgb32(image, options.filter);
    if (!rows)
        rows = filterConverted(image, options.filter, isOpaque(image));
    if (rows->bytes.empty())
        return std::nullopt;
    const std::vector<unsigned char> compressed = compress(rows->bytes, options.level);
    if (compressed.empty())
        return std::nullopt;

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
           8,                                                // bits per channel
           static_cast<unsigned char>(rows->opaque ? 2 : 6), // truecolour, with alpha or not
           0,                                                // deflate
           0,                                                // adaptive filtering
           0};                                               // not interlaced

    QByteArray out;
    out.reserve(static_cast<qsizetype>(compressed.size() + 64));
    out.append(reinterpret_cast<const char*>(signature.data()), signature.size());
    appendChunk(out, "IHDR", header, sizeof header);
    // A chunk holds less than 2^31 bytes; long streams are split.
    constexpr size_t maximumChunk = 1u << 30;
    for (size_t offset = 0; offset < compressed.size(); offset += maximumChunk)
        appendChunk(out, "IDAT", compressed.data() + offset,
                    std::min(maximumChunk, compressed.size() - offset));
    appendChunk(out, "IEND", nullptr, 0);
    return out;
}

} // namespace kelpie
