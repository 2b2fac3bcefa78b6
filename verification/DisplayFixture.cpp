#include "verification/DisplayFixture.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>

#include <cstdlib>

namespace kelpie::DisplayFixture {

namespace {

// Colour conversion on the way through a capture may move a channel a
// little; the corner colours are far apart, so this cannot confuse them.
constexpr int tolerance = 12;

bool near(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
        && std::abs(a.blue() - b.blue()) <= tolerance;
}

// A point `inset` pixels in from each corner along the diagonal,
// clockwise from the top-left.
std::array<QPoint, 4> inward(QSize size, int inset)
{
    const int right = size.width() - 1 - inset;
    const int bottom = size.height() - 1 - inset;
    return {QPoint(inset, inset), QPoint(right, inset), QPoint(right, bottom), QPoint(inset, bottom)};
}

bool anyCorner(QColor seen)
{
    for (const QColor& colour : cornerColors) {
        if (near(seen, colour))
            return true;
    }
    return false;
}

} // namespace

QStringList texts() { return {QStringLiteral("今天下午三点半"), QStringLiteral("图书馆门口见面")}; }

QString windowTitle() { return QStringLiteral("Kelpie · 双屏样本"); }

QImage draw(QSize pixels, double scale)
{
    QImage image(pixels, QImage::Format_RGB32);
    image.fill(background);
    QPainter painter(&image);
    const auto outer = inward(pixels, 0);
    for (std::size_t i = 0; i < outer.size(); ++i) {
        const QPoint c = outer[i];
        const int x = c.x() == 0 ? 0 : c.x() - cornerSide + 1;
        const int y = c.y() == 0 ? 0 : c.y() - cornerSide + 1;
        painter.fillRect(QRect(x, y, cornerSide, cornerSide), cornerColors[i]);
    }
    QFont font;
    font.setFamilies({QStringLiteral("Noto Sans CJK SC"), QStringLiteral("DejaVu Sans")});
    font.setPixelSize(qRound(36 * scale));
    painter.setFont(font);
    painter.setPen(QColor(0x20, 0x20, 0x20));
    const QFontMetricsF metrics(font);
    const QStringList lines = texts();
    const double lineHeight = metrics.height() * 1.5;
    double y = pixels.height() / 2.0 - lineHeight * (lines.size() - 1) / 2.0;
    for (const QString& line : lines) {
        const double width = metrics.horizontalAdvance(line);
        painter.drawText(QPointF((pixels.width() - width) / 2, y + metrics.ascent() / 2), line);
        y += lineHeight;
    }
    return image;
}

bool cornersValid(const QImage& image)
{
    if (image.width() < 2 * cornerSide || image.height() < 2 * cornerSide)
        return false;
    // Each square must reach exactly from its corner to its inner edge:
    // its outermost and innermost pixels hold its colour, the next pixel
    // inward holds none of the corner colours.
    const auto outer = inward(image.size(), 0);
    const auto inner = inward(image.size(), cornerSide - 1);
    const auto beyond = inward(image.size(), cornerSide);
    for (std::size_t i = 0; i < outer.size(); ++i) {
        if (!near(image.pixelColor(outer[i]), cornerColors[i])
            || !near(image.pixelColor(inner[i]), cornerColors[i])
            || anyCorner(image.pixelColor(beyond[i])))
            return false;
    }
    return true;
}

} // namespace kelpie::DisplayFixture
