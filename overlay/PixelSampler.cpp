#include "overlay/PixelSampler.h"

#include <QColorSpace>
#include <QImage>

namespace kelpie::PixelSampler {
namespace {

std::uint8_t unpremultiplied(int component, int alpha)
{
    return static_cast<std::uint8_t>(std::min(255, (component * 255 + alpha / 2) / alpha));
}

} // namespace

std::optional<SampledColor> color(const QImage& image, int x, int y)
{
    if (x < 0 || y < 0 || x >= image.width() || y >= image.height())
        return std::nullopt;

    QImage pixel = image.copy(x, y, 1, 1);
    if (pixel.isNull())
        return std::nullopt;
    const QColorSpace srgb(QColorSpace::SRgb);
    if (pixel.colorSpace().isValid() && pixel.colorSpace() != srgb)
        pixel.convertToColorSpace(srgb);
    // Premultiplied RGBA bytes, as drawing into an sRGB bitmap would give;
    // the premultiplication is undone below with integer rounding.
    pixel.convertTo(QImage::Format_RGBA8888_Premultiplied);
    if (pixel.isNull())
        return std::nullopt;

    const uchar* bytes = pixel.constBits();
    const int alpha = bytes[3];
    if (alpha == 0)
        return SampledColor{0, 0, 0};
    return SampledColor{unpremultiplied(bytes[0], alpha), unpremultiplied(bytes[1], alpha),
                        unpremultiplied(bytes[2], alpha)};
}

} // namespace kelpie::PixelSampler
