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
#include <cstring>
#include <iterator>

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

// Strokes `path` with `pen`. A dashed outline is built here rather than by
// the painter, which leaves out the dashes beyond its device: the dashes of
// a part of the image must be those of the whole.
void strokePath(QPainter& painter, const QPainterPath& path, const QPen& pen)
{
    if (pen.style() != Qt::CustomDashLine) {
        painter.strokePath(path, pen);
        return;
    }
    QPainterPathStroker stroker(pen);
    painter.fillPath(stroker.createStroke(path), pen.brush());
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
    strokePath(painter, shaft, strokePen(color, w, style, style.dashed));

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

// The whole image pixels that `area` (annotation space) touches on an image
// of `image`'s size, cut to the image before any conversion to whole pixels
// (an area may reach beyond the range of a pixel index). An area with an
// edge that is not a finite number counts as the whole image.
QRect imagePixels(const Rect& area, const QRect& image)
{
    if (area.isNull() || image.isEmpty())
        return {};
    const QRectF flipped(area.minX(), image.height() - area.maxY(), area.width(), area.height());
    if (!(std::isfinite(flipped.left()) && std::isfinite(flipped.right())
          && std::isfinite(flipped.top()) && std::isfinite(flipped.bottom())))
        return image;
    return (flipped & QRectF(image)).toAlignedRect() & image;
}

bool isFilterMask(const AnnotationObject& object)
{
    return object.tool() == AnnotationTool::mask && object.style.maskEffect != MaskEffect::solid;
}

// The image pixels a pixelate or blur mask changes; empty for every other
// object and for a brush mask without points.
QRect filterArea(const AnnotationObject& object, const QRect& image)
{
    if (!isFilterMask(object) || (object.style.maskBrush && object.points.isEmpty()))
        return {};
    const double grow = (object.style.maskBrush ? object.style.width / 2 : 0) + 1;
    return imagePixels(object.bounds().insetBy(-grow, -grow), image);
}

// How far from a pixel a filter mask reads to compute it, in whole pixels:
// a pixelate cell reaches less than its size plus one across, a blur as far
// as its boxes together.
int filterReach(const AnnotationStyle& style)
{
    if (style.maskEffect == MaskEffect::pixelate)
        return static_cast<int>(std::ceil(style.maskStrength)) + 1;
    return MaskFilter::blurReach(style.maskStrength * 0.5);
}

// Everything an object may paint, in annotation space, with a pixel of
// antialiasing to spare; null when it paints nothing.
Rect paintedArea(const AnnotationObject& object)
{
    const AnnotationStyle& style = object.style;
    const Rect bounds = object.bounds();
    double grow = 0;
    Rect area = bounds;
    switch (object.tool()) {
    case AnnotationTool::select: return Rect::null();
    case AnnotationTool::rectangle:
    case AnnotationTool::ellipse: grow = style.filled ? 0 : style.width / 2; break;
    case AnnotationTool::line: grow = style.width / 2; break;
    case AnnotationTool::arrow:
        // A head reaches its length back from the tip and sideways; an open
        // head's stroke half a width beyond that.
        grow = std::max(object.arrowHeadLength(), 0.0) + style.width;
        break;
    case AnnotationTool::pen:
    case AnnotationTool::highlight:
        // The smoothed curve stays inside the hull of its points.
        if (object.points.isEmpty())
            return Rect::null();
        grow = style.width / 2;
        break;
    case AnnotationTool::number:
        // The label is sized to fit the disc but may overhang its sides.
        grow = std::max(bounds.width(), bounds.height()) / 2;
        break;
    case AnnotationTool::text: {
        // Text runs down from the top of its box, past its bottom when the
        // box is too short, and a glyph wider than a line overhangs it.
        const double measured
            = AnnotationTextLayout::size(object.text, style, bounds.width()).height;
        const double bottom = std::min(bounds.minY(), bounds.maxY() - measured - style.fontSize);
        area = Rect(bounds.minX() - 2 * style.fontSize, bottom, bounds.width() + 4 * style.fontSize,
                    bounds.maxY() - bottom);
        break;
    }
    case AnnotationTool::mask:
        if (style.maskBrush && object.points.isEmpty())
            return Rect::null();
        grow = style.maskBrush ? style.width / 2 : 0;
        break;
    }
    grow += 2;
    return area.insetBy(-grow, -grow);
}

// The composite's first pixels: `part` of the base, in the format objects
// are painted in and in sRGB.
std::optional<QImage> startingPixels(const QImage& base, const QRect& part)
{
    // Colours are converted before the format, in the base's own format,
    // as text recognition converts an image it reads: converting in the
    // premultiplied format rounds differently, and the text beside a mask
    // would then read from other pixels than the text of the base.
    const QColorSpace srgb(QColorSpace::SRgb);
    QImage pixels = part == base.rect() ? base : base.copy(part);
    if (pixels.colorSpace().isValid() && pixels.colorSpace() != srgb)
        pixels = pixels.convertedToColorSpace(srgb);
    QImage composite = pixels.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (composite.isNull())
        return std::nullopt;
    composite.setColorSpace(srgb);
    composite.setDevicePixelRatio(1);
    return composite;
}

// Draws `objects` in order onto `target`, which holds the pixels of an
// image `imageHeight` high from `offset` on. The offset is whole pixels, so
// every object lands on the same pixels as it does on the whole image.
// Objects that cannot paint on `target` are passed over.
template<typename Objects>
bool drawAll(QImage& target, const Objects& objects, int imageHeight, QPoint offset)
{
    if (objects.begin() == objects.end())
        return true;
    QPainter painter;
    if (!painter.begin(&target))
        return false;
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    painter.setTransform(annotationToImage(imageHeight)
                         * QTransform::fromTranslate(-offset.x(), -offset.y()));
    const QRect shown(offset, target.size());
    const QSize imageSize(offset.x() + target.width(), imageHeight);
    const bool whole = offset.isNull() && target.height() == imageHeight;
    for (const AnnotationObject& object : objects) {
        if (!whole && object.style.valid() && !paintedRect(object, imageSize).intersects(shown))
            continue;
        if (!draw(object, painter))
            return false;
    }
    return true;
}

template<typename Objects>
std::optional<QImage> renderAll(const QImage& base, const Objects& objects)
{
    if (base.isNull())
        return std::nullopt;
    // Objects are painted in the toolkit's native premultiplied format, where
    // its blending is fastest; the result is reordered to RGBA at the end.
    std::optional<QImage> composite = startingPixels(base, base.rect());
    if (!composite || !drawAll(*composite, objects, base.height(), QPoint(0, 0)))
        return std::nullopt;
    reorderToRgba(*composite);
    if (composite->format() != QImage::Format_RGBA8888_Premultiplied)
        return std::nullopt;
    return composite;
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
            strokePath(painter, path, painter.pen());
        break;
    }
    case AnnotationTool::line: {
        QPainterPath path(qt(object.start));
        path.lineTo(qt(object.end));
        strokePath(painter, path, painter.pen());
        break;
    }
    case AnnotationTool::pen:
    case AnnotationTool::highlight:
        if (!object.points.isEmpty())
            strokePath(painter, smoothedPath(object.points), painter.pen());
        break;
    case AnnotationTool::arrow: drawArrow(object, painter, color); break;
    case AnnotationTool::text: AnnotationTextLayout::draw(object, painter); break;
    case AnnotationTool::number: drawNumber(object, painter, color); break;
    case AnnotationTool::mask: drawn = drawMask(object, painter); break;
    }
    painter.restore();
    return drawn;
}

std::optional<QImage> render(const QImage& base, const AnnotationObjectList& objects)
{
    return renderAll(base, objects);
}

std::optional<QImage> render(const QImage& base, const QList<AnnotationObject>& objects)
{
    return renderAll(base, objects);
}

std::optional<QImage> render(const QImage& base, std::initializer_list<AnnotationObject> objects)
{
    return renderAll(base, objects);
}

std::optional<QImage> renderRegion(const QImage& base, const AnnotationObjectList& objects,
                                   const QRect& imageRect)
{
    if (base.isNull())
        return std::nullopt;
    // Whatever spoils the whole composite spoils every part of it.
    for (const AnnotationObject& object : objects) {
        if (!object.style.valid())
            return std::nullopt;
    }
    const QRect wanted = imageRect & base.rect();
    if (wanted.isEmpty())
        return QImage();

    // Going down from the top object: a filter mask that covers part of what
    // must come out right needs what lies beneath it to be right as far as
    // its filter reaches.
    QRect needed = wanted;
    for (qsizetype i = objects.size() - 1; i >= 0; --i) {
        const AnnotationObject& object = objects[i];
        const QRect area = filterArea(object, base.rect());
        if (area.intersects(needed)) {
            const int reach = filterReach(object.style);
            needed = needed.adjusted(-reach, -reach, reach, reach) & base.rect();
        }
        // Glyphs cut by the edge of the device come out differently from
        // whole ones, and those cut by the image's edge differently again on
        // a device of another width or height: text that shows in the
        // rectangle is drawn whole, and when it runs off the image, on rows
        // or columns as long as the image's.
        if (object.tool() == AnnotationTool::text || object.tool() == AnnotationTool::number) {
            const QRect text = paintedRect(object, base.size());
            if (!text.intersects(needed))
                continue;
            needed |= text;
            const Rect ink = paintedArea(object);
            const Rect image(0, 0, base.width(), base.height());
            if (ink.minX() < image.minX() || ink.maxX() > image.maxX())
                needed = QRect(0, needed.top(), base.width(), needed.height());
            if (ink.minY() < image.minY() || ink.maxY() > image.maxY())
                needed = QRect(needed.left(), 0, needed.width(), base.height());
        }
    }

    std::optional<QImage> composite = startingPixels(base, needed);
    if (!composite || !drawAll(*composite, objects, base.height(), needed.topLeft()))
        return std::nullopt;
    QImage part = needed == wanted ? std::move(*composite)
                                   : composite->copy(wanted.translated(-needed.topLeft()));
    if (part.isNull())
        return std::nullopt;
    reorderToRgba(part);
    if (part.format() != QImage::Format_RGBA8888_Premultiplied)
        return std::nullopt;
    return part;
}

bool repaintRegion(QImage& composite, const QImage& base, const AnnotationObjectList& objects,
                   const QRect& imageRect)
{
    if (composite.size() != base.size()
        || composite.format() != QImage::Format_RGBA8888_Premultiplied)
        return false;
    const std::optional<QImage> part = renderRegion(base, objects, imageRect);
    if (!part)
        return false;
    if (part->isNull())
        return true;
    const QRect wanted = imageRect & base.rect();
    const auto rowBytes = static_cast<std::size_t>(wanted.width()) * 4;
    for (int y = 0; y < wanted.height(); ++y)
        std::memcpy(composite.scanLine(wanted.top() + y)
                        + static_cast<std::size_t>(wanted.left()) * 4,
                    part->constScanLine(y), rowBytes);
    return true;
}

QRect paintedRect(const AnnotationObject& object, const QSize& imageSize)
{
    return imagePixels(paintedArea(object), QRect(QPoint(0, 0), imageSize));
}

QRect spreadThroughFilters(const AnnotationObjectList& objects, const QRect& changed,
                           const QSize& imageSize)
{
    const QRect image(QPoint(0, 0), imageSize);
    QRect spread = changed & image;
    if (spread.isEmpty())
        return {};
    for (const AnnotationObject& object : objects) {
        // The mask's pixels within its reach of the change read changed
        // pixels.
        const int reach = filterReach(object.style);
        const QRect touched
            = spread.adjusted(-reach, -reach, reach, reach) & filterArea(object, image);
        if (!touched.isEmpty())
            spread |= touched;
    }
    return spread;
}

} // namespace kelpie::AnnotationRenderer
