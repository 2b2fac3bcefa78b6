#include "ExportSamples.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <random>

namespace kelpie::test {

namespace {

// Smooth colour waves with per-pixel grain, like a photo or a wallpaper.
void paintPhoto(QImage& image, QRect area, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> grain(-6, 6);
    area = area.intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = area.left(); x <= area.right(); ++x) {
            const double u = x * 0.013;
            const double v = y * 0.017;
            const int r = 120 + static_cast<int>(60 * std::sin(u + 0.5 * v)) + grain(random);
            const int g = 140 + static_cast<int>(50 * std::sin(0.7 * u - v)) + grain(random);
            const int b = 160 + static_cast<int>(70 * std::cos(u * v * 0.01)) + grain(random);
            line[x] = qRgb(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255));
        }
    }
}

void paintText(QPainter& painter, QRect area, int pixelSize)
{
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPixelSize(pixelSize);
    painter.setFont(font);
    painter.setPen(QColor(30, 30, 34));
    const QString lines[] = {
        QStringLiteral("Kelpie 截图与标注 — Screenshot and markup for the Linux desktop"),
        QStringLiteral("int main(int argc, char* argv[]) { return QApplication::exec(); }"),
        QStringLiteral("保存失败，请检查目录权限与可用空间 · 1920 × 1080 px"),
        QStringLiteral("The quick brown fox jumps over the lazy dog 0123456789"),
    };
    int row = 0;
    for (int y = area.top() + pixelSize; y < area.bottom(); y += pixelSize * 3 / 2, ++row)
        painter.drawText(area.left(), y, lines[row % 4]);
}

void paintDesktop(QImage& image)
{
    const int w = image.width();
    const int h = image.height();
    const double s = h / 1080.0; // scale of the layout
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // Wallpaper behind everything.
    paintPhoto(image, image.rect(), 7);
    // A window: title bar, side bar, content with text and a picture.
    const QRect window(int(80 * s), int(60 * s), w - int(160 * s), h - int(140 * s));
    painter.fillRect(window, QColor(246, 246, 248));
    painter.fillRect(QRect(window.topLeft(), QSize(window.width(), int(40 * s))),
                     QColor(225, 226, 230));
    painter.fillRect(QRect(window.left(), window.top() + int(40 * s), int(260 * s),
                           window.height() - int(40 * s)),
                     QColor(236, 237, 241));
    for (int i = 0; i < 12; ++i)
        painter.fillRect(QRect(window.left() + int(16 * s), window.top() + int((60 + 36 * i) * s),
                               int(220 * s), int(24 * s)),
                         i == 3 ? QColor(64, 120, 230) : QColor(228, 229, 233));
    paintText(
        painter,
        QRect(window.left() + int(300 * s), window.top() + int(60 * s), int(900 * s), int(560 * s)),
        std::max(10, int(15 * s)));
    painter.end();
    paintPhoto(image,
               QRect(window.right() - int(560 * s), window.top() + int(80 * s), int(500 * s),
                     int(380 * s)),
               11);
    // Marks drawn over it: a red rectangle, an arrow, a highlight.
    painter.begin(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(230, 40, 40), 4 * s));
    painter.drawRect(QRectF(window.left() + 290 * s, window.top() + 50 * s, 700 * s, 120 * s));
    QPainterPath arrow;
    arrow.moveTo(window.left() + 1100 * s, window.top() + 700 * s);
    arrow.cubicTo(window.left() + 1000 * s, window.top() + 500 * s, window.left() + 900 * s,
                  window.top() + 400 * s, window.left() + 1000 * s, window.top() + 180 * s);
    painter.drawPath(arrow);
    painter.fillRect(QRectF(window.left() + 300 * s, window.top() + 300 * s, 500 * s, 30 * s),
                     QColor(255, 220, 0, 110));
}

} // namespace

QImage screenshotComposite(QSize size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    paintDesktop(image);
    return image;
}

QImage translucentComposite(QSize size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    paintDesktop(image);
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    const int margin = std::max(1, size.width() / 20);
    painter.fillRect(QRect(0, 0, size.width(), margin), Qt::transparent);
    painter.fillRect(QRect(0, size.height() - margin, size.width(), margin),
                     QColor(0, 90, 200, 90));
    painter.fillRect(QRect(0, 0, margin, size.height()), QColor(255, 255, 255, 1));
    return image;
}

} // namespace kelpie::test
