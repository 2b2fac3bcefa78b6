#pragma once

#include "geometry/Rect.h"

#include <QImage>
#include <QtGlobal>

namespace kelpie {

// Where a screenshot editor's crop came from: the whole frozen screen, the
// screen's frame, the crop on it and whether the crop may still be adjusted
// in place. Rectangles are in points, origin bottom-left, y up; `region` is
// in capture space (the screen's own point space).
struct ScreenshotPresentation {
    // The frozen image of the whole screen, in device pixels.
    QImage background;
    // The screen's frame in global desktop space.
    Rect screenFrame;
    Rect region;
    quint32 displayID = 0;
    bool allowsAdjustment = false;

    Size captureSize() const { return screenFrame.standardized().size; }
    // Pixels of the background image, as a size.
    Size backgroundPixels() const
    {
        return {static_cast<double>(background.width()), static_cast<double>(background.height())};
    }
    ScreenshotPresentation replacingRegion(const Rect& rect) const
    {
        ScreenshotPresentation copy = *this;
        copy.region = rect;
        return copy;
    }
};

} // namespace kelpie
