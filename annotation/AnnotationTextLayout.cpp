#include "annotation/AnnotationTextLayout.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QStringList>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace kelpie {

namespace {

// A device on which one point is one pixel. QImage reports
// round(dots per metre × 0.0254) dots per inch: 2835 gives exactly 72.
const QPaintDevice* referenceDevice()
{
    static const QImage device = [] {
        QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
        image.setDotsPerMeterX(2835);
        image.setDotsPerMeterY(2835);
        return image;
    }();
    return &device;
}

bool isLineBreak(QChar c)
{
    return c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

// The text split at its line breaks (CR LF counts as one). A break at the
// very end starts a last line that is still empty: it is left out here and
// accounted for by the caller, as the text it measures does not reach it.
QStringList paragraphsOf(const QString& text)
{
    QStringList paragraphs;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!isLineBreak(text[i]))
            continue;
        paragraphs.append(text.mid(start, i - start));
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size() || paragraphs.isEmpty())
        paragraphs.append(text.mid(start));
    return paragraphs;
}

bool endsWithLineBreak(const QString& text) { return !text.isEmpty() && isLineBreak(text.back()); }

// Text laid out in lines of at most `lineWidth`, stacked from y = 0 down.
struct Block {
    std::vector<std::unique_ptr<QTextLayout>> paragraphs;
    double width = 0;
    double height = 0;
};

Block layOut(const QString& text, const AnnotationTextLayout::Attributes& attributes,
             double lineWidth)
{
    Block block;
    for (const QString& paragraph : paragraphsOf(text)) {
        auto layout = std::make_unique<QTextLayout>(paragraph, attributes.font, referenceDevice());
        layout->setTextOption(attributes.option);
        layout->setCacheEnabled(true);
        layout->beginLayout();
        for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
            line.setLeadingIncluded(true);
            line.setLineWidth(lineWidth);
            line.setPosition(QPointF(0, block.height));
            block.height += line.height();
            block.width = std::max(block.width, line.naturalTextWidth());
        }
        layout->endLayout();
        block.paragraphs.push_back(std::move(layout));
    }
    return block;
}

// One line, never wrapped, its line box's top-left corner at (0, 0).
std::unique_ptr<QTextLayout> singleLine(const QString& text, const QFont& font)
{
    auto layout = std::make_unique<QTextLayout>(text, font, referenceDevice());
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout->setTextOption(option);
    layout->beginLayout();
    QTextLine line = layout->createLine();
    line.setLeadingIncluded(true);
    line.setLineWidth(1e6);
    line.setPosition(QPointF(0, 0));
    layout->endLayout();
    return layout;
}

class FontTextMeasurer final : public AnnotationTextMeasurer {
public:
    Size size(const QString& text, const AnnotationStyle& style, double maxWidth) const override
    {
        return AnnotationTextLayout::size(text, style, maxWidth);
    }
};

} // namespace

QFont AnnotationTextLayout::fontOfPixelSize(double pixelSize, bool bold)
{
    QFont font;
    // Noto Sans CJK carries Latin and Chinese in one face, so mixed text
    // keeps one line height; DejaVu covers symbols it lacks.
    font.setFamilies({QStringLiteral("Noto Sans CJK SC"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pixelSize > 0 ? pixelSize : 1);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    // Unhinted outlines give fractional advances that scale with the size
    // and do not depend on the desktop's hinting settings.
    font.setHintingPreference(QFont::PreferNoHinting);
    return QFont(font, referenceDevice());
}

AnnotationTextLayout::Attributes AnnotationTextLayout::attributes(const AnnotationStyle& style)
{
    QTextOption option(Qt::AlignLeft);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    return {fontOfPixelSize(style.fontSize, style.bold), style.color.qColor(), option};
}

double AnnotationTextLayout::lineHeight(const AnnotationStyle& style)
{
    const QFontMetricsF metrics(fontOfPixelSize(style.fontSize, style.bold));
    return metrics.ascent() + metrics.descent() + metrics.leading();
}

Size AnnotationTextLayout::size(const QString& text, const AnnotationStyle& style, double maxWidth)
{
    // Written so that a NaN width lays out at the minimum.
    const double lineWidth = maxWidth - 2 * inset > 1 ? maxWidth - 2 * inset : 1;
    const Block block = layOut(text, attributes(style), lineWidth);
    const double line = lineHeight(style);
    const double width
        = std::min(std::max(std::ceil(block.width + 2 * inset), 2 * inset + 1), maxWidth);
    const double height = std::ceil(std::max(block.height, line)
                                    + (endsWithLineBreak(text) ? line : 0) + 2 * inset);
    return {width, height};
}

void AnnotationTextLayout::draw(const AnnotationObject& object, QPainter& painter)
{
    const AnnotationStyle& style = object.style;
    const Rect bounds = object.bounds();
    painter.save();
    if (style.textBackground) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(style.backgroundColor.qColor());
        painter.drawRect(QRectF(bounds.minX(), bounds.minY(), bounds.width(), bounds.height()));
    }
    if (!object.text.isEmpty()) {
        const Attributes attributes = AnnotationTextLayout::attributes(style);
        const Block block
            = layOut(object.text, attributes, std::max(bounds.width() - 2 * inset, 1.0));
        // Lines run down from the top edge: turn the y-up space upright at
        // the top-left corner of the text area.
        painter.translate(bounds.minX() + inset, bounds.maxY() - inset);
        painter.scale(1, -1);
        painter.setPen(attributes.color);
        for (const auto& paragraph : block.paragraphs)
            paragraph->draw(&painter, QPointF(0, 0));
    }
    painter.restore();
}

Size AnnotationTextLayout::lineSize(const QString& text, const QFont& font)
{
    const auto layout = singleLine(text, font);
    const QTextLine line = layout->lineAt(0);
    return {line.naturalTextWidth(), line.height()};
}

void AnnotationTextLayout::drawLine(QPainter& painter, const QString& text, const QFont& font,
                                    const QColor& color, QPointF topLeft)
{
    const auto layout = singleLine(text, font);
    painter.save();
    painter.setPen(color);
    layout->draw(&painter, topLeft);
    painter.restore();
}

const AnnotationTextMeasurer& AnnotationTextLayout::measurer()
{
    static const FontTextMeasurer instance;
    return instance;
}

} // namespace kelpie
