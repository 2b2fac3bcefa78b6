#include "text/SafeTextImage.h"

#include "text/TextLayout.h"
#include "text/TextRecognizer.h"

#include <QColorSpace>
#include <QHash>
#include <QPainter>
#include <QRegion>

namespace kelpie::SafeTextImage {

const char* PreparationFailure::what() const noexcept
{
    switch (error) {
    case PreparationError::allocation: return "safe text image: allocation failed";
    case PreparationError::unavailableGeometry: return "safe text image: text regions unavailable";
    }
    return "safe text image: failed";
}

namespace {

// A rectangle of bottom-left pixel space as whole pixels of top-left space.
QRect topLeftPixels(const Rect& rect, int imageHeight)
{
    const Rect pixels = rect.integral();
    return QRect(int(pixels.minX()), imageHeight - int(pixels.maxY()), int(pixels.width()),
                 int(pixels.height()));
}

// The regions (in order) whose grown, clipped rectangle meets an
// occlusion, and those rectangles.
std::vector<std::pair<qsizetype, Rect>> suppressed(const QList<Rect>& textRegions,
                                                   const QList<Rect>& occlusions, Size size)
{
    const Rect bounds(0, 0, size.width, size.height);
    std::vector<std::pair<qsizetype, Rect>> result;
    for (qsizetype i = 0; i < textRegions.size(); ++i) {
        const Rect reach = textRegions[i].insetBy(-regionGrowth, -regionGrowth).intersected(bounds);
        if (reach.isNull())
            continue;
        for (const Rect& occlusion : occlusions) {
            if (!reach.intersected(occlusion).isNull()) {
                result.emplace_back(i, reach);
                break;
            }
        }
    }
    return result;
}

// The colour that surrounds a rectangle: the most frequent one on the ring
// of pixels just outside it, white when there is none.
QRgb surroundingColor(const QImage& image, const QRect& rect)
{
    QHash<QRgb, int> counts;
    const QRect ring = rect.adjusted(-1, -1, 1, 1);
    const auto count = [&](int x, int y) {
        if (image.rect().contains(x, y))
            ++counts[reinterpret_cast<const QRgb*>(image.constScanLine(y))[x]];
    };
    for (int x = ring.left(); x <= ring.right(); ++x) {
        count(x, ring.top());
        count(x, ring.bottom());
    }
    for (int y = ring.top() + 1; y < ring.bottom(); ++y) {
        count(ring.left(), y);
        count(ring.right(), y);
    }
    QRgb best = qRgba(255, 255, 255, 255);
    int bestCount = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > bestCount || (it.value() == bestCount && it.key() < best)) {
            best = it.key();
            bestCount = it.value();
        }
    }
    return best;
}

} // namespace

QList<Rect> textRegions(const QImage& image, const RecognitionCancellation& cancellation)
{
    cancellation.throwIfCancelled();
    const QImage normalized = TextLayout::views(image).normalized;
    if (normalized.isNull())
        throw TextRecognizer::Failure("text regions: the image cannot be analysed");
    const std::vector<TextLayout::Line> lines = TextLayout::analyse(normalized, cancellation);
    cancellation.throwIfCancelled();

    // Layout boxes are y-down from the top; regions are y-up from the bottom.
    const double height = image.height();
    QList<Rect> regions;
    for (const TextLayout::Line& line : lines) {
        for (const QRect& word : line.words)
            regions.append(
                Rect(word.x(), height - word.y() - word.height(), word.width(), word.height()));
    }
    return regions;
}

QList<Rect> regionsToSuppress(const QList<Rect>& textRegions, const QList<Rect>& occlusions,
                              Size size)
{
    QList<Rect> suppress;
    for (const auto& [index, reach] : suppressed(textRegions, occlusions, size))
        suppress.append(reach);
    return suppress;
}

QImage prepare(const QImage& image, const QList<Rect>& baseRegions, const QList<Rect>& occlusions,
               const RecognitionCancellation& cancellation)
{
    if (occlusions.isEmpty())
        return image;
    if (image.isNull())
        throw PreparationFailure(PreparationError::allocation);

    // The pixels are converted to sRGB once, here, the same way the
    // recogniser converts an image it is given directly, so a mask does
    // not change how the text away from it reads.
    const QImage source = TextLayout::inSrgb(image);
    if (source.isNull())
        throw PreparationFailure(PreparationError::allocation);
    QImage pristine = source.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    if (pristine.isNull())
        throw PreparationFailure(PreparationError::allocation);
    pristine.setColorSpace(QColorSpace::SRgb);
    pristine.setDevicePixelRatio(1); // painted pixel for pixel
    // Colours are read from the same bytes that are painted.
    const QImage colours = source.convertToFormat(QImage::Format_ARGB32);
    if (colours.isNull())
        throw PreparationFailure(PreparationError::allocation);
    const int width = image.width();
    const int height = image.height();

    // What an occlusion covers is hidden whatever effect it shows: the
    // cells of a pixelation or the smudge of a blur carry the shape of
    // what lies under them and join the text beside them into one word.
    // Each occluded area becomes the colour around it before anything
    // else is looked at.
    {
        QPainter painter(&pristine);
        if (!painter.isActive())
            throw PreparationFailure(PreparationError::allocation);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        for (const Rect& occlusion : occlusions) {
            if (!occlusion.isFinite())
                continue;
            const QRect area = topLeftPixels(occlusion, height).intersected(pristine.rect());
            if (!area.isEmpty())
                painter.fillRect(area, QColor::fromRgba(surroundingColor(colours, area)));
        }
    }
    QImage bitmap = pristine.copy();
    if (bitmap.isNull())
        throw PreparationFailure(PreparationError::allocation);

    QList<Rect> regions;
    try {
        regions = textRegions(pristine, cancellation);
    } catch (const TextRecognizer::Failure&) {
        throw PreparationFailure(PreparationError::unavailableGeometry);
    }
    const qsizetype ownRegions = regions.size();
    regions.append(baseRegions);
    const auto suppress = suppressed(regions, occlusions, Size{double(width), double(height)});

    // The pixels that stay readable, and the ink of every suppressed word,
    // which nothing may bring back. Where the base image has a word out of
    // reach of every occlusion, its box is kept even inside a suppressed
    // word of the image itself: the image's own analysis sees a line with
    // its masked words gone, judges the blank between the words left by
    // fewer of them and may join a far word to the remains of a masked one,
    // while the base image still shows where its words end.
    std::vector<bool> hidden(std::size_t(regions.size()), false);
    for (const auto& [index, reach] : suppress)
        hidden[std::size_t(index)] = true;
    QRegion ownHidden;
    QRegion baseHidden;
    QRegion keep;
    QRegion baseKept;
    for (qsizetype i = 0; i < regions.size(); ++i) {
        if (!regions[i].isFinite())
            continue;
        const QRect box = topLeftPixels(regions[i], height).adjusted(-1, -1, 1, 1);
        const bool own = i < ownRegions;
        if (hidden[std::size_t(i)])
            (own ? ownHidden : baseHidden) += box;
        else
            (own ? keep : baseKept) += box;
    }
    keep += baseKept;
    keep -= baseHidden + (ownHidden - baseKept);

    {
        QPainter painter(&bitmap);
        if (!painter.isActive())
            throw PreparationFailure(PreparationError::allocation);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        // Each suppressed region takes the colour around it rather than
        // white: a white block on a dark panel would read as a shape and
        // disturb the text beside it.
        for (const auto& [index, reach] : suppress) {
            if (!reach.isFinite())
                continue;
            const QRect fill = topLeftPixels(reach, height);
            painter.fillRect(fill, QColor::fromRgba(surroundingColor(colours, fill)));
        }
        // The growth around a suppressed word may reach into a readable
        // neighbour (dense lines); the neighbour's own pixels come back.
        painter.setClipRegion(keep);
        painter.drawImage(0, 0, pristine);
    }
    cancellation.throwIfCancelled();
    bitmap.setDevicePixelRatio(image.devicePixelRatio());
    return bitmap;
}

} // namespace kelpie::SafeTextImage
