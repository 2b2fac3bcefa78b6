#include "editor/ImageEncoding.h"

#include "editor/PngEncoder.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageWriter>
#include <QPainter>

namespace kelpie {

namespace {

// JPEG has no alpha: transparent areas become white, as the save dialog's
// hint tells the user, rather than whatever the encoder would make of them.
QImage flattenedOntoWhite(const QImage& image)
{
    if (!image.hasAlphaChannel())
        return image;
    QImage flat(image.size(), QImage::Format_RGB32);
    flat.setColorSpace(image.colorSpace());
    flat.fill(Qt::white);
    // Pixel for pixel, whatever device pixel ratio the composite carries.
    QImage source = image;
    source.setDevicePixelRatio(1);
    QPainter painter(&flat);
    painter.drawImage(0, 0, source);
    painter.end();
    return flat;
}

std::optional<QByteArray> jpegData(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly))
        return std::nullopt;
    QImageWriter writer(&buffer, "jpeg");
    if (!writer.write(flattenedOntoWhite(image)))
        return std::nullopt;
    return bytes;
}

} // namespace

std::optional<QByteArray> ImageEncoding::data(const QImage& image, ImageType type)
{
    if (image.isNull())
        return std::nullopt;
    switch (type) {
    case ImageType::png: return PngEncoder::encode(image);
    case ImageType::jpeg: return jpegData(image);
    }
    return std::nullopt;
}

QString ImageEncoding::extension(ImageType type)
{
    return type == ImageType::jpeg ? QStringLiteral("jpg") : QStringLiteral("png");
}

} // namespace kelpie
