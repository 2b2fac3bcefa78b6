#include "editor/ControlIcon.h"

#include <QPainter>
#include <QPixmap>

#include <cmath>

namespace kelpie::ControlIcon {

QImage render(const ControlImage& image, QSizeF size, const QColor& tint, double ratio)
{
    const QSize pixels(int(std::ceil(size.width() * ratio)), int(std::ceil(size.height() * ratio)));
    QImage result(pixels, QImage::Format_ARGB32_Premultiplied);
    result.setDevicePixelRatio(ratio);
    result.fill(Qt::transparent);
    if (image.isNull() || pixels.isEmpty())
        return result;
    QPainter painter(&result);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF target(QPointF(0, 0), size);
    image.draw(painter, target);
    if (image.isTemplate()) {
        painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
        painter.fillRect(target, tint);
    }
    return result;
}

QIcon make(const ControlImage& image, QSizeF size, const QColor& tint)
{
    QIcon icon;
    for (double ratio : {1.0, 2.0})
        icon.addPixmap(QPixmap::fromImage(render(image, size, tint, ratio)));
    return icon;
}

} // namespace kelpie::ControlIcon
