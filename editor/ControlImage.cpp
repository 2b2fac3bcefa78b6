#include "editor/ControlImage.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <map>

namespace kelpie {
namespace {

// Symbols are drawn on a 24 × 24 grid (y down) with round strokes. The
// stroke width follows the weight so configured symbols look bolder.
constexpr double grid = 24;

struct SymbolShape {
    // Strokes are outlined with the weight's line width; fills are solid.
    QPainterPath stroke;
    QPainterPath fill;
};

QPainterPath polyline(std::initializer_list<QPointF> points, bool closed = false)
{
    QPainterPath path;
    bool first = true;
    for (const QPointF& p : points) {
        if (first)
            path.moveTo(p);
        else
            path.lineTo(p);
        first = false;
    }
    if (closed)
        path.closeSubpath();
    return path;
}

QPainterPath uturn(bool backward)
{
    QPainterPath path;
    path.moveTo(8.5, 4.5);
    path.lineTo(4.5, 8.5);
    path.lineTo(8.5, 12.5);
    path.moveTo(4.5, 8.5);
    path.lineTo(14.5, 8.5);
    path.arcTo(QRectF(10, 8.5, 10, 10), 90, -180);
    path.lineTo(9.5, 18.5);
    if (!backward)
        return QTransform(-1, 0, 0, 1, grid, 0).map(path);
    return path;
}

std::map<ControlSymbol, SymbolShape> makeSymbols()
{
    std::map<ControlSymbol, SymbolShape> s;

    s[ControlSymbol::cursorArrow].stroke = polyline(
        {{6.5, 3.5}, {6.5, 19}, {10.4, 15.4}, {13, 21}, {15.6, 19.8}, {13, 14.3}, {18, 14}}, true);

    QPainterPath arrow = polyline({{5.5, 18.5}, {18, 6}});
    arrow.addPath(polyline({{9, 6}, {18, 6}, {18, 15}}));
    s[ControlSymbol::arrowUpRight].stroke = arrow;

    QPainterPath rect;
    rect.addRoundedRect(QRectF(3.5, 6, 17, 12), 2.2, 2.2);
    s[ControlSymbol::rectangle].stroke = rect;
    s[ControlSymbol::rectangleFill].fill = rect;
    s[ControlSymbol::rectangleFill].stroke = rect;

    QPainterPath circle;
    circle.addEllipse(QPointF(12, 12), 8.5, 8.5);
    s[ControlSymbol::circle].stroke = circle;

    s[ControlSymbol::lineDiagonal].stroke = polyline({{5, 19}, {19, 5}});

    // "Aa": a capital and a small letter, the sign for typed text.
    QPainterPath text = polyline({{2.5, 19}, {8, 5}, {13.5, 19}});
    text.addPath(polyline({{4.6, 14}, {11.4, 14}}));
    text.addEllipse(QPointF(17.6, 15.6), 3.2, 3.4);
    text.addPath(polyline({{20.8, 12}, {20.8, 19}}));
    s[ControlSymbol::textFormat].stroke = text;

    QPainterPath pencil
        = polyline({{15.2, 4.8}, {19.2, 8.8}, {8.8, 19.2}, {4, 20}, {4.8, 15.2}}, true);
    pencil.addPath(polyline({{13, 7}, {17, 11}}));
    s[ControlSymbol::pencil].stroke = pencil;

    // A marker with a slanted nib beside the band of colour it leaves.
    QPainterPath marker = polyline({{14.5, 3}, {20.5, 9}, {12.2, 17.3}, {6.2, 11.3}}, true);
    marker.addPath(polyline({{11.3, 6.2}, {17.3, 12.2}}));
    marker.addPath(polyline({{6.2, 11.3}, {3.6, 18.2}, {5.3, 19.9}, {12.2, 17.3}}));
    s[ControlSymbol::highlighter].stroke = marker;
    QPainterPath band;
    band.addRoundedRect(QRectF(12, 19.6, 9, 2.6), 1, 1);
    s[ControlSymbol::highlighter].fill = band;

    QPainterPath number;
    number.addEllipse(QPointF(12, 12), 9, 9);
    number.addPath(polyline({{9.8, 9.2}, {12.6, 7.2}, {12.6, 16.8}}));
    number.addPath(polyline({{9.8, 16.8}, {15.2, 16.8}}));
    s[ControlSymbol::numberCircle].stroke = number;

    QPainterPath pin = polyline(
        {{8.5, 3.5}, {15.5, 3.5}, {14.2, 9.5}, {17.5, 13.5}, {6.5, 13.5}, {9.8, 9.5}}, true);
    pin.addPath(polyline({{12, 13.5}, {12, 21}}));
    s[ControlSymbol::pin].stroke = pin;

    QPainterPath save
        = polyline({{7.5, 10}, {4.5, 10}, {4.5, 20.5}, {19.5, 20.5}, {19.5, 10}, {16.5, 10}});
    save.addPath(polyline({{12, 3}, {12, 15}}));
    save.addPath(polyline({{8, 11}, {12, 15}, {16, 11}}));
    s[ControlSymbol::squareAndArrowDown].stroke = save;

    // Two sheets, the back one showing only where the front one leaves it.
    QPainterPath copy;
    copy.addRoundedRect(QRectF(4, 7.5, 11.5, 13.5), 2, 2);
    copy.addPath(polyline(
        {{8.5, 5}, {8.5, 4.5}, {9, 3}, {18.5, 3}, {20, 4.5}, {20, 15}, {18.5, 16.5}, {18, 16.5}}));
    s[ControlSymbol::docOnDoc].stroke = copy;

    QPainterPath again;
    again.arcMoveTo(QRectF(4, 4, 16, 16), 140);
    again.arcTo(QRectF(4, 4, 16, 16), 140, -300);
    again.addPath(polyline({{4.2, 4.8}, {5.9, 9.3}, {10.4, 8.4}}));
    s[ControlSymbol::arrowCounterclockwise].stroke = again;

    QPainterPath cross = polyline({{6.5, 6.5}, {17.5, 17.5}});
    cross.addPath(polyline({{17.5, 6.5}, {6.5, 17.5}}));
    s[ControlSymbol::xmark].stroke = cross;

    s[ControlSymbol::checkmark].stroke = polyline({{4.5, 12.5}, {9.5, 17.5}, {19.5, 6.5}});
    s[ControlSymbol::arrowUturnBackward].stroke = uturn(true);
    s[ControlSymbol::arrowUturnForward].stroke = uturn(false);

    // An eye crossed out: what is seen is hidden.
    QPainterPath eye;
    eye.moveTo(3, 12);
    eye.quadTo(12, 3, 21, 12);
    eye.quadTo(12, 21, 3, 12);
    eye.addEllipse(QPointF(12, 12), 3, 3);
    eye.addPath(polyline({{4.5, 19.5}, {19.5, 4.5}}));
    s[ControlSymbol::eyeSlash].stroke = eye;
    return s;
}

const std::map<ControlSymbol, SymbolShape>& symbols()
{
    static const std::map<ControlSymbol, SymbolShape> table = makeSymbols();
    return table;
}

// Stroke width in grid units: 1.6 for a regular weight, growing with it.
double strokeWidth(int weight) { return 1.6 * (0.7 + 0.3 * std::clamp(weight, 100, 900) / 400.0); }

} // namespace

struct ControlImage::Data {
    enum class Kind { symbol, drawing, bitmap } kind;
    ControlSymbol symbol = ControlSymbol::xmark;
    double pointSize = 0;
    int weight = 400;
    QSizeF size;
    bool isTemplate = true;
    Drawing draw;
    QImage image;
};

ControlImage ControlImage::symbol(ControlSymbol symbol, double pointSize, int weight)
{
    ControlImage result;
    if (!symbols().contains(symbol) || !(pointSize > 0))
        return result;
    auto data = std::make_shared<Data>();
    data->kind = Data::Kind::symbol;
    data->symbol = symbol;
    data->pointSize = pointSize;
    data->weight = weight;
    // Square symbols slightly larger than the point size, like glyphs with
    // their ascent and descent.
    data->size = QSizeF(pointSize * 1.2, pointSize * 1.2);
    result.m_data = std::move(data);
    return result;
}

ControlImage ControlImage::drawing(QSizeF size, bool isTemplate, Drawing draw)
{
    ControlImage result;
    if (!draw || size.isEmpty())
        return result;
    auto data = std::make_shared<Data>();
    data->kind = Data::Kind::drawing;
    data->size = size;
    data->isTemplate = isTemplate;
    data->draw = std::move(draw);
    result.m_data = std::move(data);
    return result;
}

ControlImage ControlImage::bitmap(const QImage& image, bool isTemplate)
{
    ControlImage result;
    if (image.isNull())
        return result;
    auto data = std::make_shared<Data>();
    data->kind = Data::Kind::bitmap;
    data->size = image.deviceIndependentSize();
    data->isTemplate = isTemplate;
    data->image = image;
    result.m_data = std::move(data);
    return result;
}

bool ControlImage::isTemplate() const { return m_data && m_data->isTemplate; }
bool ControlImage::isSymbol() const { return m_data && m_data->kind == Data::Kind::symbol; }
std::optional<ControlSymbol> ControlImage::controlSymbol() const
{
    if (!isSymbol())
        return std::nullopt;
    return m_data->symbol;
}
double ControlImage::pointSize() const { return isSymbol() ? m_data->pointSize : 0; }
int ControlImage::weight() const { return isSymbol() ? m_data->weight : 400; }
QSizeF ControlImage::size() const { return m_data ? m_data->size : QSizeF(); }

std::optional<ControlImage> ControlImage::withSymbolConfiguration(double pointSize,
                                                                  int weight) const
{
    if (!isSymbol())
        return std::nullopt;
    ControlImage configured = symbol(m_data->symbol, pointSize, weight);
    if (configured.isNull())
        return std::nullopt;
    return configured;
}

void ControlImage::draw(QPainter& painter, const QRectF& target) const
{
    if (!m_data || target.isEmpty())
        return;
    switch (m_data->kind) {
    case Data::Kind::symbol: {
        const SymbolShape& symbol = symbols().at(m_data->symbol);
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(target.topLeft());
        painter.scale(target.width() / grid, target.height() / grid);
        if (!symbol.fill.isEmpty())
            painter.fillPath(symbol.fill, Qt::black);
        QPen pen(Qt::black, strokeWidth(m_data->weight), Qt::SolidLine, Qt::RoundCap,
                 Qt::RoundJoin);
        painter.strokePath(symbol.stroke, pen);
        painter.restore();
        break;
    }
    case Data::Kind::drawing:
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        m_data->draw(painter, target);
        painter.restore();
        break;
    case Data::Kind::bitmap:
        painter.save();
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, m_data->image);
        painter.restore();
        break;
    }
}

} // namespace kelpie
