#pragma once

#include <QImage>
#include <QPointF>
#include <QRect>

#include <array>

namespace kelpie {

// The two image filters behind pixelate and blur masks.
//
// Both work on 32-bit premultiplied images (RGBA8888 or ARGB32, premultiplied)
// and treat the image as if its edge pixels extended infinitely, so a filter
// at the border shows no dark or transparent fringe. Both compute only the
// pixels of `region` (which must lie inside the image), reading only the part
// of the image that can influence them; the result equals the same region cut
// from the filtered whole image. The result is a region-sized image of the
// source's format, or a null image when it cannot be allocated.
namespace MaskFilter {

// Blocky cells of `cellSize` pixels (at least 1; fractional sizes allowed),
// each filled with the mean of the pixels it covers. The cell grid is
// anchored at `gridOrigin`, so cells stay put when the region moves.
QImage pixelate(const QImage& image, double cellSize, QPointF gridOrigin, const QRect& region);

// Gaussian blur whose standard deviation is `sigma` pixels. Approximated by
// three successive box blurs of the radii of boxRadii(sigma), whose combined
// variance matches sigma² as closely as whole-pixel boxes allow; the kernel
// reaches blurReach(sigma) pixels to either side. A sigma below 0.5 (or not
// finite) copies the region unchanged.
QImage gaussianBlur(const QImage& image, double sigma, const QRect& region);

// Radii of the three boxes that stand in for a Gaussian of `sigma`.
std::array<int, 3> boxRadii(double sigma);
// How far, in pixels, the blur of `sigma` reaches: the sum of the box radii.
int blurReach(double sigma);

} // namespace MaskFilter

} // namespace kelpie
