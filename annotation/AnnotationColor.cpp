#include "annotation/AnnotationColor.h"

#include <QColor>

#include <cmath>

namespace kelpie {

namespace {

bool unitInterval(double v) { return std::isfinite(v) && v >= 0 && v <= 1; }

} // namespace

bool AnnotationColor::valid() const
{
    return unitInterval(red) && unitInterval(green) && unitInterval(blue) && unitInterval(alpha);
}

QColor AnnotationColor::qColor() const
{
    // 16 bits per component; the toolkit's extended form would keep only
    // half-float precision.
    return QColor::fromRgbF(static_cast<float>(red), static_cast<float>(green),
                            static_cast<float>(blue), static_cast<float>(alpha));
}

namespace {

bool isWithinUnitRange(const QColor& color)
{
    for (const float component : {color.redF(), color.greenF(), color.blueF()}) {
        if (!(component >= 0 && component <= 1))
            return false;
    }
    return true;
}

} // namespace

AnnotationColor AnnotationColor::fromQColor(const QColor& color)
{
    if (!color.isValid())
        return AnnotationColor(1, 0, 0);
    // Out-of-gamut colours keep their values beyond 0…1 (so validation can
    // refuse them); every other colour is read at 16 bits per component.
    const QColor extended = color.toExtendedRgb();
    const QColor srgb = isWithinUnitRange(extended) ? color.toRgb() : extended;
    return AnnotationColor(srgb.redF(), srgb.greenF(), srgb.blueF(), srgb.alphaF());
}

} // namespace kelpie
