#pragma once

#include <QByteArray>
#include <QImage>

#include <optional>

namespace kelpie {

// A PNG writer tuned for screenshots on the copy and save paths: 8-bit RGB,
// or RGBA only when some pixel is not opaque, one cheap filter for every
// row and ISA-L's fast DEFLATE. Decoding the bytes gives back the image's
// pixels exactly (as 8-bit straight-alpha colour).
class PngEncoder {
public:
    // How each row is predicted before compression (PNG's filter types).
    enum class Filter { none = 0, sub = 1, up = 2, paeth = 4 };

    struct Options {
        Filter filter = Filter::up;
        // ISA-L's level, 0 (fastest) to 3 (smallest).
        int level = 1;
    };

    // Absent for a null image, an image too large for one buffer, or when
    // compression fails.
    static std::optional<QByteArray> encode(const QImage& image);
    static std::optional<QByteArray> encode(const QImage& image, const Options& options);

    // True when every pixel is fully opaque (always true for formats
    // without alpha).
    static bool isOpaque(const QImage& image);
};

} // namespace kelpie
