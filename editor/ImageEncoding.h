#pragma once

#include <QByteArray>
#include <QImage>

#include <optional>

namespace kelpie {

enum class ImageType { png, jpeg };

// Encodes composites for the clipboard and for files.
class ImageEncoding {
public:
    // PNG through the fast encoder (8-bit RGB, or RGBA when any pixel is not
    // opaque); JPEG flattened onto white first. Absent for a null image or
    // when encoding fails.
    static std::optional<QByteArray> data(const QImage& image, ImageType type);

    // The file-name extension written for the type, without the dot.
    static QString extension(ImageType type);
};

} // namespace kelpie
