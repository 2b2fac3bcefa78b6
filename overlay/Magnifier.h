#pragma once

#include "editor/CoreAppearance.h"
#include "geometry/Rect.h"
#include "overlay/SampledColor.h"
#include "overlay/ViewPixelMapping.h"

#include <QRect>
#include <QSize>

#include <optional>

class QImage;
class QPainter;

namespace kelpie {

// The loupe that follows the pointer in the overlay: the 11 × 11 pixels
// around the pointer pixel enlarged ten times, with the pixel's colour and
// position written under them. Geometry is in the overlay's y-up view space.
namespace Magnifier {

constexpr double panelWidth = 130;
constexpr double panelHeight = 157;
constexpr int blockPixels = 11;
constexpr double zoom = 10;

// Beside the pointer (20 points up and right), flipped to the other side
// where it would leave the view, and always kept inside it.
Rect panelRect(Point pointer, Size view);
// The 110 × 110 square the enlarged pixels are drawn into.
Rect zoomSquare(const Rect& panel);

struct Block {
    // The part of the 11 × 11 block around the pointer pixel that lies in
    // the image, in image pixels (top-left origin).
    QRect source;
    // Where those pixels go, in view space, so the pointer pixel stays in
    // the centre of the square even when the block is cut by the image edge.
    Rect target;
};
std::optional<Block> block(const Rect& zoomSquare, ViewPixelMapping::PixelPosition pixel,
                           QSize imageSize);

// "120, 45 px": column and row counted from the image's top-left.
QString positionText(ViewPixelMapping::PixelPosition pixel);

void draw(QPainter& painter, const QImage& image, Point pointer,
          ViewPixelMapping::PixelPosition pixel, const SampledColor& color, Size view,
          CoreAppearance::Appearance appearance);

} // namespace Magnifier
} // namespace kelpie
