#include "verification/FixturePicture.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

namespace kelpie {

FixturePicture FixturePicture::textLines(QSize size, const QStringList& texts, QPoint topLeft,
                                         int pixelSize, int gap, QColor ground, QColor ink)
{
    FixturePicture picture;
    picture.image = QImage(size, QImage::Format_ARGB32_Premultiplied);
    picture.image.fill(ground);
    QPainter painter(&picture.image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    font.setHintingPreference(QFont::PreferNoHinting);
    painter.setFont(font);
    painter.setPen(ink);
    picture.font = font;
    picture.texts = texts;
    const QFontMetrics metrics(font);
    int top = topLeft.y();
    for (const QString& text : texts) {
        painter.drawText(QPoint(topLeft.x(), top + metrics.ascent()), text);
        picture.lines.append(
            QRect(topLeft.x(), top, metrics.horizontalAdvance(text), metrics.height()));
        top += metrics.height() + gap;
    }
    return picture;
}

} // namespace kelpie

namespace kelpie {

QRect FixturePicture::span(int line, int from, int length) const
{
    const QFontMetrics metrics(font);
    const QString& text = texts.at(line);
    const int left = metrics.horizontalAdvance(text.left(from));
    const int width = metrics.horizontalAdvance(text.mid(from, length));
    const QRect& box = lines.at(line);
    return QRect(box.left() + left, box.top(), width, box.height());
}

} // namespace kelpie
