#pragma once

#include "capture/PixelLimits.h"
#include "geometry/Rect.h"
#include "geometry/Size.h"

#include <QImage>

#include <vector>

namespace kelpie {

// Cutting single screens out of one image of the whole desktop, as a
// desktop that only hands out such images (the screenshot portal) gives it.
//
// The image covers the union of the screens' logical frames. Its pixels per
// point are measured from the image itself, each axis on its own, and are
// not assumed to be any screen's scale: a desktop whose screens have mixed
// scales comes back rendered at a single scale (usually the largest, but
// compositors differ). A screen whose scale is not the image's is therefore
// resampled to its own device-pixel size, smoothly, so every screen still
// gets an image of exactly its native size: sharp where the image's scale
// is at least the screen's, softened where the image had fewer pixels.
namespace DesktopImageCrop {

// Where each of `frames` (logical points, y down) lies in a desktop image of
// `imageSize` pixels, in image pixels with whole-number edges, in the order
// given. Empty when the image or the union of the frames has no area.
std::vector<Rect> regions(Size imageSize, const std::vector<Rect>& frames);

// `region` of `desktop`, resampled to `nativeSize` when it has another size,
// as an opaque 32-bit image (RGB32).
// A null image when the region does not lie inside the desktop image.
QImage cut(const QImage& desktop, const Rect& region, PixelLimits::PixelSize nativeSize);

} // namespace DesktopImageCrop
} // namespace kelpie
