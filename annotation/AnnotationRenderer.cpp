#include "annotation/AnnotationRenderer.h"

#include "annotation/AnnotationTextLayout.h"
#include "annotation/MaskFilter.h"

#include <QBrush>
#include <QColorSpace>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace kelpie::AnnotationRenderer {

namespace {

QPointF qt(Point p) { return {p.x, p.y}; }

QRectF qt(const Rect& r) { return {r.minX(), r.minY(), r.width(), r.height()}; }

Point lerp(Point a, Point b, double t) { return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t}; }

double distance(Point a, Point b) { return std::hypot(b.x - a.x, b.y - a.y); }

// The style's colour with its alpha scaled by the object's alpha factor:
// fill opacity for filled rectangles and ellipses, 30 % for highlights
// (always translucent), otherwise 1.
QColor paintColor(const AnnotationObject& object)
{
    const AnnotationStyle& style = object.style;
    double factor = 1;
    if ((object.tool() == AnnotationTool::rectangle || object.tool() == AnnotationTool::ellipse)
        && style.filled)
        factor = style.fillOpacity;
    if (object.tool() == AnnotationTool::highlight)
        factor = 0.3;
    QColor color = style.color.qColor();
    color.setAlphaF(static_cast<float>(style.color.alpha * factor));
    return color;
}

// A round-capped, round-joined pen `width` wide. Dashes, when asked for,
// are 3 and 2 times the style's width long whatever this pen's width (the
// toolkit measures dash patterns in pen widths).
QPen strokePen(const QColor& color, double width, const AnnotationStyle& style, bool dashed)
{
    QPen pen(QBrush(color), width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    if (dashed) {
        pen.setDashPattern({3 * style.width / width, 2 * style.width / width});
        pen.setDashOffset(0);
    }
    return pen;
}

// A freehand path smoothed by quadratic curves: each curve ends midway
// between two samples with the earlier sample as control point, and a last
// straight piece reaches the final sample. One sample becomes a dot by way
// of a tiny segment and the round cap.
QPainterPath smoothedPath(const QList<Point>& points)
{
    QPainterPath path(qt(points.front()));
    if (points.size() == 1) {
        path.lineTo(points.front().x + 0.01, points.front().y);
        return path;
    }
    for (qsizetype i = 1; i < points.size(); ++i) {
        const Point previous = points[i - 1];
        path.quadTo(qt(previous), qt(lerp(previous, points[i], 0.5)));
    }
    path.lineTo(qt(points.back()));
    return path;
}

QPainterPath polyline(const QList<Point>& points)
{
    QPainterPath path(qt(points.front()));
    if (points.size() == 1)
        path.lineTo(points.front().x + 0.01, points.front().y);
    for (qsizetype i = 1; i < points.size(); ++i)
        path.lineTo(qt(points[i]));
    return path;
}

// Half the angle at the tip of an open and of a filled arrow head.
constexpr double openHalfAngle = 0.58;
constexpr double filledHalfAngle = 0.45;

void drawArrowHead(QPainter& painter, Point tip, Point reference, double length, bool open,
                   const QColor& color, double shaftWidth)
{
    const double dx = tip.x - reference.x;
    const double dy = tip.y - reference.y;
    if (!(std::hypot(dx, dy) > 0))
        return;
    const double angle = std::atan2(dy, dx);
    const double half = open ? openHalfAngle : filledHalfAngle;
    const QPointF p1(tip.x - length * std::cos(angle - half),
                     tip.y - length * std::sin(angle - half));
    const QPointF p2(tip.x - length * std::cos(angle + half),
                     tip.y - length * std::sin(angle + half));
    QPainterPath path(p1);
    path.lineTo(qt(tip));
    path.lineTo(p2);
    if (open) {
        painter.strokePath(
            path, QPen(QBrush(color), shaftWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    } else {
        path.closeSubpath();
        path.setFillRule(Qt::WindingFill);
        painter.fillPath(path, color);
    }
}

// How far before a tip the shaft of width `w` ends. Under an open head 0.7
// widths: the round end hides in the stroked tip. Under a filled head the
// shaft ends where its round end, w / 2 in radius, just fits between the
// head's sides, w / (2 sin 0.45) ≈ 1.15 widths before the tip: any nearer
// and it bulges out of the narrow part of the head. The head is always long
// enough to cover that (w is at most 0.55 head lengths), and there it is
// already wider than the shaft.
double shaftPullBack(double w, bool openHead)
{
    return openHead ? 0.7 * w : w / (2 * std::sin(filledHalfAngle));
}

// The shaft stops short of each head so that its round end hides under the
// head instead of poking out at the tip or at the head's sides.
void drawArrow(const AnnotationObject& object, QPainter& painter, const QColor& color)
{
    const AnnotationStyle& style = object.style;
    const double head = object.arrowHeadLength();
    if (!(head > 0))
        return;
    const double w = std::min(0.55 * head, style.width);
    const Point start = object.start;
    const Point end = object.end;
    const double length = distance(start, end);
    const std::optional<Point> control = object.curveControl;
    const bool doubleHead = style.arrowHead == ArrowHead::double_;

    // How far along the curve (as a parameter) the shaft must stop to end k
    // short of an end point; near an end the curve moves 2 × |end − C| per
    // unit of t.
    const auto pullBack = [&](double k, double legLength) {
        if (!control)
            return length > 0 ? k / length : 0.0;
        if (legLength > 0)
            return k / (2 * legLength);
        return length > 0 ? std::sqrt(k / length) : 0.0;
    };
    const double endPullBack = shaftPullBack(w, style.arrowHead == ArrowHead::open);
    const double t1
        = 1 - std::min(pullBack(endPullBack, control ? distance(end, *control) : 0), 0.45);
    // The head at the start of a double-headed arrow is always filled.
    const double t0 = doubleHead
        ? std::min(pullBack(shaftPullBack(w, false), control ? distance(*control, start) : 0), 0.45)
        : 0.0;

    QPainterPath shaft(qt(object.arrowPoint(t0)));
    if (control) {
        // The piece of the whole curve between t0 and t1, as its own
        // quadratic curve.
        const Point c = *control;
        const Point from = object.arrowPoint(t0);
        const double span = t1 - t0;
        const Point tangent{(1 - t0) * (c.x - start.x) + t0 * (end.x - c.x),
                            (1 - t0) * (c.y - start.y) + t0 * (end.y - c.y)};
        shaft.quadTo(QPointF(from.x + span * tangent.x, from.y + span * tangent.y),
                     qt(object.arrowPoint(t1)));
    } else {
        shaft.lineTo(qt(object.arrowPoint(t1)));
    }
    painter.strokePath(shaft, strokePen(color, w, style, style.dashed));

    // Heads are never dashed.
    const Point endReference = control && *control != end ? *control : start;
    drawArrowHead(painter, end, endReference, head, style.arrowHead == ArrowHead::open, color, w);
    if (doubleHead) {
        const Point startReference = control && *control != start ? *control : end;
        drawArrowHead(painter, start, startReference, head, false, color, w);
    }
}

void drawNumber(const AnnotationObject& object, QPainter& painter, const QColor& color)
{
    const Rect bounds = object.bounds();
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(qt(bounds));

    const QString label = QString::number(object.number);
    const double fontSize
        = std::min(bounds.width() / std::max<double>(label.size(), 1) * 1.1, bounds.height() * 0.6);
    const QFont font = AnnotationTextLayout::fontOfPixelSize(fontSize, true);
    const Size measured = AnnotationTextLayout::lineSize(label, font);
    painter.translate(bounds.midX(), bounds.midY());
    painter.scale(1, -1);
    AnnotationTextLayout::drawLine(painter, label, font, Qt::white,
                                   QPointF(-measured.width / 2, -measured.height / 2));
}

// The painter's device in annotation space, a pixel larger on every side;
// null for a device without an extent.
Rect deviceArea(const QPainter& painter)
{
    const QPaintDevice* device = painter.device();
    if (device == nullptr || device->width() <= 0 || device->height() <= 0)
        return Rect::null();
    const QRectF shown = painter.combinedTransform().inverted().mapRect(
        QRectF(-1, -1, device->width() + 2, device->height() + 2));
    return Rect(shown.x(), shown.y(), shown.width(), shown.height());
}

bool drawMask(const AnnotationObject& object, QPainter& painter)
{
    const AnnotationStyle& style = object.style;
    QPainterPath area;
    if (style.maskBrush) {
        if (object.points.isEmpty())
            return true;
        QPainterPathStroker stroker;
        stroker.setWidth(style.width);
        stroker.setCapStyle(Qt::RoundCap);
        stroker.setJoinStyle(Qt::RoundJoin);
        area = stroker.createStroke(polyline(object.points));
        area.setFillRule(Qt::WindingFill);
    } else {
        // A solid rectangle covers whole pixels, so no half-covered edge
        // lets a secret shine through. Cut to what the device shows first:
        // the corners may lie too far out to draw.
        Rect bounds = object.bounds();
        if (const Rect shown = deviceArea(painter); !shown.isNull())
            bounds = bounds.intersected(shown);
        if (bounds.isNull())
            return true; // wholly outside: nothing to cover
        area.addRect(qt(style.maskEffect == MaskEffect::solid ? bounds.integral() : bounds));
    }
    painter.setPen(Qt::NoPen);

    if (style.maskEffect == MaskEffect::solid) {
        QColor opaque = style.color.qColor();
        opaque.setAlphaF(1);
        painter.setBrush(opaque);
        painter.drawPath(area);
        return true;
    }

    // Pixelate and blur filter what has been drawn so far, earlier masks
    // included, so overlapping masks compound. Only the pixels under the
    // mask are filtered, from the part of the image that reaches them.
    QPaintDevice* device = painter.device();
    if (device == nullptr || device->devType() != QInternal::Image)
        return false;
    const QImage& target = *static_cast<QImage*>(device);
    const QTransform toDevice = painter.combinedTransform();
    // Cut to the image before turning into whole pixels: a mask may reach
    // far beyond the range of a pixel index.
    const QRect region
        = (toDevice.mapRect(area.boundingRect()) & QRectF(target.rect())).toAlignedRect()
        & target.rect();
    if (region.isEmpty())
        return true;
    const double scale = std::sqrt(std::abs(toDevice.determinant()));

    QImage converted;
    const bool direct = target.format() == QImage::Format_RGBA8888_Premultiplied
        || target.format() == QImage::Format_ARGB32_Premultiplied;
    if (!direct)
        converted = target.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    const QImage& source = direct ? target : converted;

    // The blur radius is half the strength, and that radius is the
    // Gaussian's standard deviation.
    const QImage filtered = style.maskEffect == MaskEffect::pixelate
        ? MaskFilter::pixelate(source, style.maskStrength * scale, toDevice.map(QPointF(0, 0)),
                               region)
        : MaskFilter::gaussianBlur(source, style.maskStrength * 0.5 * scale, region);
    if (filtered.isNull())
        return false;

    // Paint the filtered pixels through the mask's area, pixel for pixel.
    QBrush brush(filtered);
    brush.setTransform(QTransform::fromTranslate(region.x(), region.y()) * toDevice.inverted());
    painter.setBrush(brush);
    painter.drawPath(area);
    return true;
}

// Reorders premultiplied ARGB32 pixels to premultiplied RGBA8888 in place:
// on a little-endian machine that swaps the red and blue bytes of every
// pixel, a loop that vectorises and runs several times faster than the
// toolkit's general in-place conversion.
void reorderToRgba(QImage& image)
{
    if constexpr (QSysInfo::ByteOrder != QSysInfo::LittleEndian) {
        image.convertTo(QImage::Format_RGBA8888_Premultiplied);
    } else {
        auto* pixels = reinterpret_cast<std::uint32_t*>(image.bits());
        const std::size_t count = static_cast<std::size_t>(image.bytesPerLine() / 4)
            * static_cast<std::size_t>(image.height());
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint32_t v = pixels[i];
            pixels[i] = (v & 0xff00ff00u) | ((v >> 16) & 0xffu) | ((v & 0xffu) << 16);
        }
        image.reinterpretAsFormat(QImage::Format_RGBA8888_Premultiplied);
    }
}

} // namespace

QTransform annotationToImage(int imageHeight) { return QTransform(1, 0, 0, -1, 0, imageHeight); }

bool draw(const AnnotationObject& object, QPainter& painter)
{
    const AnnotationStyle& style = object.style;
    if (!style.valid())
        return false;

    painter.save();
    const QColor color = paintColor(object);
    painter.setPen(strokePen(color, style.width, style, style.dashed));
    painter.setBrush(color);

    bool drawn = true;
    switch (object.tool()) {
    case AnnotationTool::select: break;
    case AnnotationTool::rectangle:
    case AnnotationTool::ellipse: {
        const Rect bounds = object.bounds();
        QPainterPath path;
        if (object.tool() == AnnotationTool::rectangle) {
            path.addRoundedRect(qt(bounds), std::min(bounds.width() / 2, style.cornerRadius),
                                std::min(bounds.height() / 2, style.cornerRadius));
        } else {
            path.addEllipse(qt(bounds));
        }
        // Filled or outlined, never both.
        if (style.filled)
            painter.fillPath(path, color);
        else
            painter.strokePath(path, painter.pen());
        break;
    }
    case AnnotationTool::line: {
        QPainterPath path(qt(object.start));
        path.lineTo(qt(object.end));
        painter.strokePath(path, painter.pen());
        break;
    }
    case AnnotationTool::pen:
    case AnnotationTool::highlight:
        if (!object.points.isEmpty())
            painter.strokePath(smoothedPath(object.points), painter.pen());
        break;
    case AnnotationTool::arrow: drawArrow(object, painter, color); break;
    case AnnotationTool::text: AnnotationTextLayout::draw(object, painter); break;
    case AnnotationTool::number: drawNumber(object, painter, color); break;
    case AnnotationTool::mask: drawn = drawMask(object, painter); break;
    }
    painter.restore();
    return drawn;
}

std::optional<QImage> render(const QImage& base, const QList<AnnotationObject>& objects)
{
    if (base.isNull())
        return std::nullopt;
    // Objects are painted in the toolkit's native premultiplied format, where
    // its blending is fastest; the result is reordered to RGBA at the end.
    QImage composite = base.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (composite.isNull())
        return std::nullopt;
    const QColorSpace srgb(QColorSpace::SRgb);
    if (composite.colorSpace().isValid() && composite.colorSpace() != srgb)
        composite.convertToColorSpace(srgb);
    composite.setColorSpace(srgb);
    composite.setDevicePixelRatio(1);

    if (!objects.isEmpty()) {
        QPainter painter;
        if (!painter.begin(&composite))
            return std::nullopt;
        painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        painter.setTransform(annotationToImage(composite.height()));
        for (const AnnotationObject& object : objects) {
            if (!draw(object, painter))
                return std::nullopt;
        }
    }
    reorderToRgba(composite);
    if (composite.format() != QImage::Format_RGBA8888_Premultiplied)
        return std::nullopt;
    return composite;
}

} // namespace kelpie::AnnotationRenderer
