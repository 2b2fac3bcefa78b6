#include "capture/DesktopImageCrop.h"

#include <cmath>

namespace kelpie::DesktopImageCrop {

std::vector<Rect> regions(Size imageSize, const std::vector<Rect>& frames)
{
    std::vector<Rect> result;
    if (frames.empty() || imageSize.width <= 0 || imageSize.height <= 0)
        return result;
    Rect desktop = frames.front().standardized();
    for (const Rect& frame : frames)
        desktop = desktop.united(frame);
    if (desktop.isEmpty())
        return result;

    const double perPointX = imageSize.width / desktop.width();
    const double perPointY = imageSize.height / desktop.height();
    for (const Rect& frame : frames) {
        // Each edge is placed on its own, so neighbouring screens share an
        // edge in the image as they do on the desktop.
        const double left = std::round((frame.minX() - desktop.minX()) * perPointX);
        const double top = std::round((frame.minY() - desktop.minY()) * perPointY);
        const double right = std::round((frame.maxX() - desktop.minX()) * perPointX);
        const double bottom = std::round((frame.maxY() - desktop.minY()) * perPointY);
        result.emplace_back(left, top, right - left, bottom - top);
    }
    return result;
}

QImage cut(const QImage& desktop, const Rect& region, PixelLimits::PixelSize nativeSize)
{
    const Rect bounds(0, 0, desktop.width(), desktop.height());
    if (desktop.isNull() || region.isEmpty() || !bounds.contains(region))
        return {};
    const QRect source(static_cast<int>(region.minX()), static_cast<int>(region.minY()),
                       static_cast<int>(region.width()), static_cast<int>(region.height()));
    // A screen that is the whole desktop shares its pixels: a copy of a
    // fresh 8 MB block costs some 20 ms of page faults.
    QImage part = source == desktop.rect() ? desktop : desktop.copy(source);
    if (part.width() != nativeSize.width || part.height() != nativeSize.height) {
        part = part.scaled(nativeSize.width, nativeSize.height, Qt::IgnoreAspectRatio,
                           Qt::SmoothTransformation);
    }
    // A screen is opaque; the file may have come with an alpha channel.
    if (part.format() != QImage::Format_RGB32)
        part.convertTo(QImage::Format_RGB32);
    // One image pixel per device pixel, whatever the desktop image said.
    part.setDevicePixelRatio(1);
    return part;
}

} // namespace kelpie::DesktopImageCrop
