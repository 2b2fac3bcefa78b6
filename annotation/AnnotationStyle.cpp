#include "annotation/AnnotationStyle.h"

#include <algorithm>
#include <cmath>

namespace kelpie {

namespace {

// std::round rounds halves away from zero, as the defaults need.
double scaledClamped(double base, double scale, double lo, double hi)
{
    return std::min(std::max(std::round(base * scale), lo), hi);
}

bool within(double v, double lo, double hi) { return std::isfinite(v) && v >= lo && v <= hi; }

} // namespace

AnnotationStyle AnnotationStyle::initial(AnnotationTool tool, double scale)
{
    // A NaN would survive the clamps and leave every default unusable.
    if (std::isnan(scale))
        scale = 1;

    AnnotationStyle style;
    style.width = scaledClamped(4, scale, 1, 80);
    switch (tool) {
    case AnnotationTool::rectangle: style.cornerRadius = scaledClamped(6, scale, 1, 80); break;
    case AnnotationTool::arrow:
        style.width = scaledClamped(6, scale, 1, 80);
        style.arrowHead = ArrowHead::open;
        break;
    case AnnotationTool::text: style.fontSize = scaledClamped(20, scale, 8, 200); break;
    case AnnotationTool::mask:
        style.width = scaledClamped(24, scale, 1, 80);
        style.maskStrength = scaledClamped(16, scale, 4, 80);
        style.color = AnnotationColor::palette[6];
        break;
    case AnnotationTool::highlight:
        style.width = scaledClamped(20, scale, 1, 80);
        style.color = AnnotationColor::palette[2];
        break;
    case AnnotationTool::select:
    case AnnotationTool::ellipse:
    case AnnotationTool::line:
    case AnnotationTool::pen:
    case AnnotationTool::number: break;
    }
    return style;
}

double AnnotationStyle::defaultScale(Size imageSize, double displayedWidth)
{
    if (!(displayedWidth > 0))
        return 1.0;
    const double byShortSide = std::min(imageSize.width, imageSize.height) / 128;
    const double byDisplay = std::min(imageSize.width / displayedWidth, 4.0);
    return std::max(0.65, std::min(byShortSide, byDisplay));
}

bool AnnotationStyle::valid() const
{
    return within(width, 1, 80) && within(fillOpacity, 0, 1) && within(cornerRadius, 0, 80)
        && within(maskStrength, 4, 80) && within(fontSize, 8, 200) && color.valid()
        && backgroundColor.valid();
}

} // namespace kelpie
