#include "annotation/AnnotationObject.h"

#include "annotation/AnnotationTextMeasurer.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace kelpie {

namespace {

Point midpoint(Point a, Point b) { return {(a.x + b.x) / 2, (a.y + b.y) / 2}; }

double distance(Point a, Point b) { return std::hypot(b.x - a.x, b.y - a.y); }

Point quadraticPoint(Point p0, Point c, Point p2, double t)
{
    const double u = 1 - t;
    return {u * u * p0.x + 2 * u * t * c.x + t * t * p2.x,
            u * u * p0.y + 2 * u * t * c.y + t * t * p2.y};
}

// Distance from p to the segment a–b; a zero-length segment measures to a.
double segmentDistance(Point p, Point a, Point b)
{
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double lengthSquared = dx * dx + dy * dy;
    if (lengthSquared == 0)
        return distance(p, a);
    const double t = std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / lengthSquared, 0.0, 1.0);
    return distance(p, {a.x + t * dx, a.y + t * dy});
}

Rect spanning(Point a, Point b)
{
    return Rect(std::min(a.x, b.x), std::min(a.y, b.y), std::abs(b.x - a.x), std::abs(b.y - a.y));
}

Rect grown(const Rect& r, double by) { return r.insetBy(-by, -by); }

// The extreme of one coordinate of a quadratic curve lies where its
// derivative vanishes: t = (p0 − c) / (p0 − 2c + p2), when that is inside 0…1.
std::optional<double> extremeParameter(double p0, double c, double p2)
{
    const double denominator = p0 - 2 * c + p2;
    if (denominator == 0)
        return std::nullopt;
    const double t = (p0 - c) / denominator;
    if (!(t > 0 && t < 1))
        return std::nullopt;
    return t;
}

// Maps one coordinate from the interval [oldMin, oldMin + oldLength] onto
// [newMin, newMin + newLength].
double mapped(double v, double oldMin, double oldLength, double newMin, double newLength)
{
    return (v - oldMin) / oldLength * newLength + newMin;
}

} // namespace

Rect AnnotationObject::StrokePath::boundingBox() const
{
    Rect box = spanning(start, end);
    if (!control)
        return box;
    const Point c = *control;
    for (const auto& t :
         {extremeParameter(start.x, c.x, end.x), extremeParameter(start.y, c.y, end.y)}) {
        if (t) {
            const Point p = quadraticPoint(start, c, end, *t);
            box = box.united(Rect(p.x, p.y, 0, 0));
        }
    }
    return box;
}

AnnotationObject::AnnotationObject(AnnotationTool tool, const AnnotationStyle& style_, Point start_,
                                   Point end_, QList<Point> points_, std::int64_t number_,
                                   QString text_, double textLayoutWidth_, QUuid id)
    : style(style_), start(start_), end(end_), points(std::move(points_)), number(number_),
      text(std::move(text_)), textLayoutWidth(textLayoutWidth_), m_id(id), m_tool(tool)
{
}

AnnotationObject::StrokePath AnnotationObject::strokePath() const
{
    if (m_tool == AnnotationTool::arrow && curveControl)
        return {start, curveControl, end};
    return {start, std::nullopt, end};
}

Point AnnotationObject::arrowPoint(double t) const
{
    return quadraticPoint(start, curveControl.value_or(midpoint(start, end)), end, t);
}

Point AnnotationObject::arrowMidpoint() const { return arrowPoint(0.5); }

void AnnotationObject::applyPresetCurve(std::optional<Size> imageSize)
{
    const double d = distance(start, end);
    if (style.curvedArrow != true || !(d > 0)) {
        curveControl.reset();
        return;
    }
    const double l = std::min(0.26 * d, style.width * 80 / 5);
    const Point mid = midpoint(start, end);
    Point control{mid.x + l * -(end.y - start.y) / d, mid.y + l * (end.x - start.x) / d};
    if (imageSize) {
        control.x = std::min(std::max(control.x, 0.0), imageSize->width);
        control.y = std::min(std::max(control.y, 0.0), imageSize->height);
    }
    curveControl = control;
}

double AnnotationObject::arrowHeadLength() const
{
    const Rect box = strokePath().boundingBox();
    const double diagonal = std::hypot(box.width(), box.height());
    const double factor = style.arrowHead == ArrowHead::double_ ? 0.45 : 0.7;
    return std::min(factor * diagonal, std::max(3 * style.width, 12.0));
}

Rect AnnotationObject::bounds() const
{
    Rect box;
    if (m_tool == AnnotationTool::arrow && curveControl) {
        box = strokePath().boundingBox();
    } else if (!points.isEmpty()) {
        double minX = points.front().x, maxX = minX;
        double minY = points.front().y, maxY = minY;
        for (const Point& p : points) {
            minX = std::min(minX, p.x);
            maxX = std::max(maxX, p.x);
            minY = std::min(minY, p.y);
            maxY = std::max(maxY, p.y);
        }
        box = Rect(minX, minY, maxX - minX, maxY - minY);
    } else {
        box = spanning(start, end);
    }
    return Rect(box.minX(), box.minY(), std::max(box.width(), 1.0), std::max(box.height(), 1.0));
}

std::optional<Rect> AnnotationObject::occlusion() const
{
    switch (m_tool) {
    case AnnotationTool::mask: return grown(bounds(), style.maskBrush ? style.width / 2 : 1);
    case AnnotationTool::rectangle:
    case AnnotationTool::ellipse:
        if (style.filled && style.color.alpha > 0 && style.fillOpacity > 0)
            return bounds();
        return std::nullopt;
    case AnnotationTool::number: return bounds();
    case AnnotationTool::text:
        if (style.textBackground && style.backgroundColor.alpha > 0)
            return bounds();
        return std::nullopt;
    case AnnotationTool::select:
    case AnnotationTool::arrow:
    case AnnotationTool::line:
    case AnnotationTool::pen:
    case AnnotationTool::highlight: return std::nullopt;
    }
    return std::nullopt;
}

bool AnnotationObject::hit(Point point, double tolerance) const
{
    const double r = style.width / 2 + tolerance;

    const auto hitsPath = [&] {
        if (points.isEmpty())
            return false;
        if (points.size() == 1)
            return distance(point, points.front()) <= r;
        for (qsizetype i = 1; i < points.size(); ++i) {
            if (segmentDistance(point, points[i - 1], points[i]) <= r)
                return true;
        }
        return false;
    };

    const auto hitsEllipse = [&](bool filledInside) {
        const Rect b = bounds();
        const double dx = (point.x - b.midX()) / std::max(b.width() / 2, 1.0);
        const double dy = (point.y - b.midY()) / std::max(b.height() / 2, 1.0);
        const double l = std::hypot(dx, dy);
        const double k = r / std::max(std::min(b.width(), b.height()) / 2, 1.0);
        return filledInside ? l <= 1 + k : std::abs(l - 1) <= k;
    };

    switch (m_tool) {
    case AnnotationTool::select: return false;
    case AnnotationTool::rectangle: {
        const Rect b = bounds();
        if (!grown(b, r).contains(point))
            return false;
        // Unfilled: only a band of ±r around the outline. Shrinking a small
        // rectangle by more than half its size leaves nothing to exclude.
        return style.filled || !b.insetBy(r, r).contains(point);
    }
    case AnnotationTool::ellipse: return hitsEllipse(style.filled);
    case AnnotationTool::number: return hitsEllipse(true);
    case AnnotationTool::line: return segmentDistance(point, start, end) <= r;
    case AnnotationTool::arrow: {
        // Walk the true curve, one sample per 4 pixels of control polygon.
        const Point c = curveControl.value_or(midpoint(start, end));
        const double samples = std::ceil((distance(c, start) + distance(end, c)) / 4);
        // Written so that a NaN length takes the minimum instead of reaching
        // the integer conversion.
        const int n = samples >= 1 ? static_cast<int>(std::min(samples, 4096.0)) : 1;
        Point previous = start;
        for (int i = 1; i <= n; ++i) {
            const Point next = quadraticPoint(start, c, end, static_cast<double>(i) / n);
            if (segmentDistance(point, previous, next) <= r)
                return true;
            previous = next;
        }
        const double h = std::max(arrowHeadLength(), r);
        if (distance(point, end) <= h)
            return true;
        return style.arrowHead == ArrowHead::double_ && distance(point, start) <= h;
    }
    case AnnotationTool::text: return grown(bounds(), tolerance).contains(point);
    case AnnotationTool::mask:
        if (style.maskBrush)
            return hitsPath();
        return grown(bounds(), tolerance).contains(point);
    case AnnotationTool::pen:
    case AnnotationTool::highlight: return hitsPath();
    }
    return false;
}

AnnotationObject AnnotationObject::moved(double dx, double dy) const
{
    AnnotationObject copy = *this;
    copy.start = {start.x + dx, start.y + dy};
    copy.end = {end.x + dx, end.y + dy};
    if (curveControl)
        copy.curveControl = Point{curveControl->x + dx, curveControl->y + dy};
    for (Point& p : copy.points) {
        p.x += dx;
        p.y += dy;
    }
    return copy;
}

AnnotationObject AnnotationObject::resized(const Rect& rect,
                                           const AnnotationTextMeasurer& measurer) const
{
    const Rect old = bounds();
    AnnotationObject copy = *this;

    if (m_tool == AnnotationTool::text) {
        constexpr double inset = AnnotationTextMeasurer::inset;
        const double k = std::min(rect.width() / old.width(), rect.height() / old.height());
        const double oldFontSize = style.fontSize;
        copy.style.fontSize = std::min(std::max(k * oldFontSize, 8.0), 200.0);
        // A font size of 0 would make the ratio infinite; keep the old
        // wrapping width then.
        const double ratio = oldFontSize > 0 ? copy.style.fontSize / oldFontSize : 1.0;
        copy.textLayoutWidth = std::max(2 * inset + 1, ratio * textLayoutWidth);
        const Size measured = measurer.size(text, copy.style, copy.textLayoutWidth);
        copy.start = {rect.minX(), rect.minY()};
        copy.end = {rect.minX() + measured.width, rect.minY() + measured.height};
        return copy;
    }

    const auto map = [&](Point p) {
        return Point{mapped(p.x, old.minX(), old.width(), rect.minX(), rect.width()),
                     mapped(p.y, old.minY(), old.height(), rect.minY(), rect.height())};
    };
    copy.start = map(start);
    copy.end = map(end);
    if (curveControl)
        copy.curveControl = map(*curveControl);
    for (Point& p : copy.points)
        p = map(p);
    return copy;
}

} // namespace kelpie
