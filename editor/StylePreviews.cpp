#include "editor/StylePreviews.h"

#include <QLineF>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include <algorithm>
#include <cmath>

namespace kelpie::StylePreviews {
namespace {

// Drawings scale from their nominal size to whatever the control asks for.
ControlImage templateDrawing(QSizeF size, std::function<void(QPainter&)> draw)
{
    return ControlImage::drawing(size, true, [size, draw](QPainter& painter, const QRectF& target) {
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(target.topLeft());
        painter.scale(target.width() / size.width(), target.height() / size.height());
        draw(painter);
        painter.restore();
    });
}

QPen stroke(double width, Qt::PenStyle style = Qt::SolidLine)
{
    QPen pen(Qt::black, width, style, Qt::RoundCap, Qt::RoundJoin);
    return pen;
}

// A head at `tip` pointing along `from` → `tip`.
QPainterPath head(QPointF from, QPointF tip, double length, bool closed)
{
    const double angle = std::atan2(tip.y() - from.y(), tip.x() - from.x());
    const double spread = qDegreesToRadians(28.0);
    const QPointF left = tip - QPointF(std::cos(angle - spread), std::sin(angle - spread)) * length;
    const QPointF right
        = tip - QPointF(std::cos(angle + spread), std::sin(angle + spread)) * length;
    QPainterPath path;
    path.moveTo(left);
    path.lineTo(tip);
    path.lineTo(right);
    if (closed)
        path.closeSubpath();
    return path;
}

void arrowKind(QPainter& painter, const QString& kind)
{
    const QPointF start(7, 12);
    const QPointF tip(37, 12);
    const bool open = kind == QStringLiteral("open");
    const bool both = kind == QStringLiteral("double");
    painter.setPen(stroke(2));
    painter.drawLine(
        QLineF(both ? start + QPointF(5, 0) : start, open ? tip : tip - QPointF(5, 0)));
    const QPainterPath end = head(start, tip, 9, !open);
    if (open) {
        painter.drawPath(end);
    } else {
        painter.setPen(stroke(1));
        painter.setBrush(Qt::black);
        painter.drawPath(end);
        if (both)
            painter.drawPath(head(tip, start, 9, true));
    }
}

} // namespace

ControlImage option(const QString& kind)
{
    const QRectF box(10, 4.5, 24, 15);
    if (kind == QStringLiteral("fill-none") || kind == QStringLiteral("fill-soft")
        || kind == QStringLiteral("fill-solid")) {
        return templateDrawing(optionSize, [box, kind](QPainter& painter) {
            QPainterPath shape;
            shape.addRoundedRect(box, 3.5, 3.5);
            if (kind == QStringLiteral("fill-soft"))
                painter.fillPath(shape, QColor(0, 0, 0, 90));
            else if (kind == QStringLiteral("fill-solid"))
                painter.fillPath(shape, Qt::black);
            painter.strokePath(shape, stroke(2));
        });
    }
    if (kind == QStringLiteral("solid") || kind == QStringLiteral("dashed")) {
        const bool dashed = kind == QStringLiteral("dashed");
        return templateDrawing(optionSize, [dashed](QPainter& painter) {
            QPen pen = stroke(2.5, Qt::SolidLine);
            if (dashed) {
                pen.setCapStyle(Qt::FlatCap);
                pen.setDashPattern({2.2, 1.6});
            }
            painter.setPen(pen);
            painter.drawLine(QLineF(7, 12, 37, 12));
        });
    }
    if (kind == QStringLiteral("filled") || kind == QStringLiteral("open")
        || kind == QStringLiteral("double"))
        return templateDrawing(optionSize, [kind](QPainter& painter) { arrowKind(painter, kind); });
    return {};
}

ControlImage strokeSample(double width)
{
    const double shown = std::clamp(std::isfinite(width) ? width : 1.0, 1.0, 18.0);
    return templateDrawing(optionSize, [shown](QPainter& painter) {
        painter.setPen(stroke(shown));
        const double inset = 6 + shown / 2;
        painter.drawLine(QLineF(inset, 12, optionSize.width() - inset, 12));
    });
}

ControlImage colorSwatch(const AnnotationColor& color)
{
    const QColor fill = color.qColor();
    return ControlImage::drawing(swatchSize, false,
                                 [fill](QPainter& painter, const QRectF& target) {
                                     painter.save();
                                     painter.setRenderHint(QPainter::Antialiasing);
                                     const QRectF circle = target.adjusted(1, 1, -1, -1);
                                     painter.setBrush(fill);
                                     painter.setPen(QPen(QColor(0, 0, 0, 50), 1));
                                     painter.drawEllipse(circle);
                                     painter.restore();
                                 });
}

ControlImage arrowSample(bool curved)
{
    return templateDrawing(arrowSampleSize, [curved](QPainter& painter) {
        const QPointF start(5, 17);
        const QPointF tip(27, 5);
        QPainterPath path;
        path.moveTo(start);
        QPointF from = start;
        if (curved) {
            const QPointF control(9, 4);
            path.quadTo(control, tip);
            from = control;
        } else {
            path.lineTo(tip);
        }
        painter.setPen(stroke(2));
        painter.drawPath(path);
        painter.setPen(stroke(1));
        painter.setBrush(Qt::black);
        painter.drawPath(head(from, tip, 8, true));
    });
}

} // namespace kelpie::StylePreviews
