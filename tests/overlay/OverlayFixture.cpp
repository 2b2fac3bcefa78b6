#include "OverlayFixture.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>

namespace kelpie::test {
namespace {

struct FakeWindow {
    QRectF frame; // y down, points
    QColor accent;
    QString title;
};

void drawWindow(QPainter& painter, const FakeWindow& window)
{
    const QRectF f = window.frame;
    QPainterPath shape;
    shape.addRoundedRect(f, 10, 10);
    painter.fillPath(shape.translated(0, 6), QColor(0, 0, 0, 40));
    painter.fillPath(shape, QColor(252, 252, 250));
    painter.save();
    painter.setClipPath(shape);
    painter.fillRect(QRectF(f.left(), f.top(), f.width(), 34), QColor(236, 238, 234));
    const QColor dots[] = {QColor(237, 106, 94), QColor(245, 191, 79), QColor(98, 197, 84)};
    for (int i = 0; i < 3; ++i) {
        painter.setBrush(dots[i]);
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(QPointF(f.left() + 18 + i * 20, f.top() + 17), 6, 6);
    }
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPixelSize(13);
    painter.setFont(font);
    painter.setPen(QColor(60, 64, 60));
    painter.drawText(QRectF(f.left(), f.top(), f.width(), 34), Qt::AlignCenter, window.title);
    // A sidebar, a heading and lines of text as coloured bars.
    painter.fillRect(QRectF(f.left(), f.top() + 34, 150, f.height() - 34), QColor(243, 244, 241));
    for (int i = 0; i < 6; ++i)
        painter.fillRect(QRectF(f.left() + 20, f.top() + 60 + i * 28, 100 - (i % 3) * 18, 10),
                         QColor(200, 204, 198));
    painter.fillRect(QRectF(f.left() + 180, f.top() + 62, f.width() * 0.35, 18), window.accent);
    font.setPixelSize(14);
    painter.setFont(font);
    painter.setPen(QColor(40, 44, 40));
    const QString lines[] = {QStringLiteral("Kelpie 会把屏幕冻结成一张图片。"),
                             QStringLiteral("The quick brown fox jumps over the lazy dog."),
                             QStringLiteral("拖动选择区域，或者单击一个窗口。"),
                             QStringLiteral("0123456789 #2C664F RGB(44, 102, 79)")};
    double y = f.top() + 112;
    for (const QString& line : lines) {
        if (y > f.bottom() - 20)
            break;
        painter.drawText(QPointF(f.left() + 180, y), line);
        y += 26;
    }
    for (double row = y + 10; row < f.bottom() - 24; row += 22)
        painter.fillRect(
            QRectF(f.left() + 180, row, (f.width() - 220) * (0.6 + 0.4 * std::fmod(row, 3) / 3), 8),
            QColor(214, 218, 212));
    painter.restore();
    painter.setPen(QPen(QColor(0, 0, 0, 50), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shape);
}

} // namespace

DesktopFixture makeDesktopFixture(int width, int height, double ratio)
{
    DesktopFixture fixture;
    fixture.image = QImage(qRound(width * ratio), qRound(height * ratio), QImage::Format_RGB32);
    QPainter painter(&fixture.image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.scale(ratio, ratio);

    QLinearGradient sky(0, 0, width, height);
    sky.setColorAt(0, QColor(32, 84, 110));
    sky.setColorAt(0.55, QColor(70, 140, 128));
    sky.setColorAt(1, QColor(214, 170, 96));
    painter.fillRect(QRectF(0, 0, width, height), sky);
    QRadialGradient glow(width * 0.8, height * 0.15, width * 0.45);
    glow.setColorAt(0, QColor(255, 236, 190, 150));
    glow.setColorAt(1, QColor(255, 236, 190, 0));
    painter.fillRect(QRectF(0, 0, width, height), glow);
    // Kelp fronds along the bottom.
    for (int i = 0; i < 14; ++i) {
        QPainterPath frond;
        const double x = width * (i + 0.5) / 14;
        frond.moveTo(x, height);
        frond.cubicTo(x - 40, height * 0.8, x + 50, height * 0.7, x + (i % 2 ? 20 : -20),
                      height * (0.52 + 0.04 * (i % 4)));
        painter.setPen(QPen(QColor(24, 70 + i * 5, 52, 170), 9, Qt::SolidLine, Qt::RoundCap));
        painter.drawPath(frond);
    }
    // A top bar like a desktop panel.
    painter.fillRect(QRectF(0, 0, width, 26), QColor(20, 24, 22, 220));
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPixelSize(13);
    painter.setFont(font);
    painter.setPen(QColor(230, 232, 228));
    painter.drawText(QRectF(12, 0, 300, 26), Qt::AlignVCenter,
                     QStringLiteral("活动   文件   编辑"));
    painter.drawText(QRectF(width - 112, 0, 100, 26), Qt::AlignVCenter | Qt::AlignRight,
                     QStringLiteral("周二 09:41"));

    // Back to front on screen; the target list is front-most first.
    const std::vector<FakeWindow> windows = {
        {QRectF(width * 0.52, height * 0.12, width * 0.42, height * 0.46), QColor(71, 123, 199),
         QStringLiteral("终端")},
        {QRectF(width * 0.06, height * 0.18, width * 0.5, height * 0.56), QColor(214, 95, 70),
         QStringLiteral("文稿 — 编辑器")},
        {QRectF(width * 0.34, height * 0.5, width * 0.4, height * 0.38), QColor(211, 154, 37),
         QStringLiteral("图片查看器")},
    };
    std::uint32_t id = 1;
    for (const FakeWindow& window : windows) {
        drawWindow(painter, window);
        const QRectF f = window.frame;
        fixture.windows.push_back(
            WindowTarget{id++, 100, Rect(f.left(), height - f.bottom(), f.width(), f.height())});
    }
    std::reverse(fixture.windows.begin(), fixture.windows.end());
    return fixture;
}

QImage makeCoordinateImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x % 256, y % 256, (x / 256 + y / 256 * 8) % 256));
    return image;
}

} // namespace kelpie::test
