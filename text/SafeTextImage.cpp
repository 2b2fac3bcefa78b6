#include "text/SafeTextImage.h"

#include "text/TextLayout.h"
#include "text/TextRecognizer.h"

#include <QColorSpace>
#include <QPainter>

namespace kelpie::SafeTextImage {

const char* PreparationFailure::what() const noexcept
{
    switch (error) {
    case PreparationError::allocation: return "safe text image: allocation failed";
    case PreparationError::unavailableGeometry: return "safe text image: text regions unavailable";
    }
    return "safe text image: failed";
}

QList<Rect> textRegions(const QImage& image, const RecognitionCancellation& cancellation)
{
    cancellation.throwIfCancelled();
    const QImage normalized = TextLayout::normalized(TextLayout::grey(image));
    if (normalized.isNull())
        throw TextRecognizer::Failure("text regions: the image cannot be analysed");
    const std::vector<QRect> lines = TextLayout::lines(normalized, cancellation);
    cancellation.throwIfCancelled();

    // Layout boxes are y-down from the top; regions are y-up from the bottom.
    const double height = image.height();
    QList<Rect> regions;
    regions.reserve(qsizetype(lines.size()));
    for (const QRect& line : lines)
        regions.append(
            Rect(line.x(), height - line.y() - line.height(), line.width(), line.height()));
    return regions;
}

QList<Rect> regionsToSuppress(const QList<Rect>& textRegions, const QList<Rect>& occlusions,
                              Size size)
{
    const Rect bounds(0, 0, size.width, size.height);
    QList<Rect> suppress;
    for (const Rect& region : textRegions) {
        const Rect reach = region.insetBy(-regionGrowth, -regionGrowth).intersected(bounds);
        if (reach.isNull())
            continue;
        for (const Rect& occlusion : occlusions) {
            if (!reach.intersected(occlusion).isNull()) {
                suppress.append(reach);
                break;
            }
        }
    }
    return suppress;
}

QImage prepare(const QImage& image, const QList<Rect>& baseRegions, const QList<Rect>& occlusions,
               const RecognitionCancellation& cancellation)
{
    if (occlusions.isEmpty())
        return image;
    if (image.isNull())
        throw PreparationFailure(PreparationError::allocation);

    QList<Rect> regions;
    try {
        regions = textRegions(image, cancellation);
    } catch (const TextRecognizer::Failure&) {
        throw PreparationFailure(PreparationError::unavailableGeometry);
    }
    regions.append(baseRegions);
    const int width = image.width();
    const int height = image.height();
    const QList<Rect> suppress
        = regionsToSuppress(regions, occlusions, Size{double(width), double(height)});

    QImage bitmap(width, height, QImage::Format_RGBA8888_Premultiplied);
    if (bitmap.isNull())
        throw PreparationFailure(PreparationError::allocation);
    bitmap.setColorSpace(QColorSpace::SRgb);
    bitmap.fill(Qt::transparent);

    QImage source = image;
    if (source.colorSpace().isValid() && source.colorSpace() != QColorSpace(QColorSpace::SRgb)) {
        source = source.convertedToColorSpace(QColorSpace::SRgb);
        if (source.isNull())
            throw PreparationFailure(PreparationError::allocation);
    }
    {
        QPainter painter(&bitmap);
        if (!painter.isActive())
            throw PreparationFailure(PreparationError::allocation);
        // Pixel for pixel, whatever device pixel ratio the source carries.
        painter.drawImage(QRect(0, 0, width, height), source, source.rect());
        for (const Rect& region : suppress) {
            if (!region.isFinite())
                continue;
            const Rect pixels = region.integral();
            const QRectF fill(pixels.minX(), height - pixels.maxY(), pixels.width(),
                              pixels.height());
            painter.fillRect(fill, Qt::white);
        }
    }
    cancellation.throwIfCancelled();
    bitmap.setDevicePixelRatio(image.devicePixelRatio());
    return bitmap;
}

} // namespace kelpie::SafeTextImage
