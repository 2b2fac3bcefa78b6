#include "app/ClipboardTextImage.h"

#include <QApplication>
#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <cmath>

namespace kelpie::ClipboardTextImage {

namespace {

constexpr int textFlags = Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop;

QFont textFont()
{
    QFont font = QApplication::font();
    font.setPointSizeF(fontSize);
    return font;
}

} // namespace

QSize sizeFor(QSizeF measured)
{
    const int width = std::clamp(static_cast<int>(std::ceil(measured.width())) + 40, 180, 700);
    const int height = std::clamp(static_cast<int>(std::ceil(measured.height())) + 40, 80, 4040);
    return {width, height};
}

QImage render(const QString& text, const QPalette& palette, double devicePixelRatio)
{
    if (text.isEmpty() || !(devicePixelRatio > 0))
        return {};
    const QFont font = textFont();
    const QFontMetricsF metrics(font);
    const QRectF measured
        = metrics.boundingRect(QRectF(0, 0, wrapWidth, wrapHeight), textFlags, text);
    const QSize points = sizeFor(measured.size());
    QImage image(points * devicePixelRatio, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(palette.color(QPalette::Base));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font);
    painter.setPen(palette.color(QPalette::Text));
    painter.drawText(QRectF(QPointF(0, 0), QSizeF(points)).adjusted(margin, margin, -margin, -margin),
                     textFlags, text);
    painter.end();
    return image;
}

} // namespace kelpie::ClipboardTextImage
