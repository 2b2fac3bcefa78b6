#include "app/ClipboardTextImage.h"

#include "editor/CoreAppearance.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPalette>
#include <QTextLayout>
#include <QTextOption>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace kelpie::ClipboardTextImage {

namespace {

// Kelpie's own families: the desktop's, then the Chinese ones its text is
// drawn in everywhere else. Left to the font system's fallback, Han
// characters came out in the Japanese forms of another face.
QFont textFont()
{
    QFont font = CoreAppearance::systemFont(1);
    font.setPointSizeF(fontSize);
    return font;
}

// The text laid out in lines at most wrapWidth wide: at word boundaries, and
// inside a word only when the word alone is wider than a line. Each
// paragraph of the text is one layout.
struct Laid {
    std::vector<std::unique_ptr<QTextLayout>> paragraphs;
    QSizeF size;
};

Laid layOut(const QString& text, const QFont& font)
{
    Laid laid;
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    const QFontMetricsF metrics(font);
    qreal y = 0;
    for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
        auto layout = std::make_unique<QTextLayout>(paragraph, font);
        layout->setTextOption(option);
        layout->beginLayout();
        for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
            line.setLineWidth(wrapWidth);
            line.setPosition(QPointF(0, y));
            y += line.height() + metrics.leading();
            laid.size.setWidth(std::max(laid.size.width(), line.naturalTextWidth()));
            if (y > wrapHeight)
                break;
        }
        layout->endLayout();
        laid.paragraphs.push_back(std::move(layout));
        if (y > wrapHeight)
            break;
    }
    laid.size.setHeight(std::min<qreal>(y, wrapHeight));
    return laid;
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
    const Laid laid = layOut(text, font);
    const QSize points = sizeFor(laid.size);
    QImage image(points * devicePixelRatio, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(palette.color(QPalette::Base));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setPen(palette.color(QPalette::Text));
    painter.setClipRect(QRectF(QPointF(0, 0), QSizeF(points)).adjusted(margin, margin, -margin, -margin));
    for (const auto& paragraph : laid.paragraphs)
        paragraph->draw(&painter, QPointF(margin, margin));
    painter.end();
    return image;
}

} // namespace kelpie::ClipboardTextImage
