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
    // Where each line starts in its paragraph, paragraphs separated by −1:
    // two layouts with equal breaks put the same text on the same lines.
    std::vector<int> breaks;
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
            block.breaks.push_back(line.textStart());
            block.width = std::max(block.width, line.naturalTextWidth());
        }
        layout->endLayout();
        block.breaks.push_back(-1);
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
    const Attributes textAttributes = attributes(style);
    // Written so that a NaN width lays out at the minimum.
    const auto lineWidthOf
        = [](double boxWidth) { return boxWidth - 2 * inset > 1 ? boxWidth - 2 * inset : 1; };
    const auto boxWidthOf = [&](const Block& block) {
        return std::min(std::max(std::ceil(block.width + 2 * inset), 2 * inset + 1), maxWidth);
    };
    Block block = layOut(text, textAttributes, lineWidthOf(maxWidth));
    double width = boxWidthOf(block);
    if (width < maxWidth) {
        // The box is drawn, hit and edited at the width returned, so the text
        // must break there into the lines measured at `maxWidth`. Its ink is
        // not always enough: keeping a word on a line also takes room for the
        // spaces after it and for a last glyph that leans right, and without
        // that room the word moves down, which may even leave the line count
        // as it was. Then the box widens to the narrowest whole width that
        // keeps the breaks, or to `maxWidth` itself. Lines are filled
        // greedily, so the widths that keep the breaks form one range up to
        // `maxWidth`: bisection finds its start, and measuring again at that
        // width finds it again.
        const std::vector<int> breaks = block.breaks;
        Block narrow = layOut(text, textAttributes, lineWidthOf(width));
        if (narrow.breaks != breaks) {
            double fits = maxWidth;
            Block fitting = std::move(block);
            auto low = static_cast<long long>(width) + 1;
            auto high = static_cast<long long>(std::ceil(maxWidth)) - 1;
            while (low <= high) {
                const long long middle = low + (high - low) / 2;
                Block candidate = layOut(text, textAttributes, lineWidthOf(double(middle)));
                if (candidate.breaks == breaks) {
                    fits = double(middle);
                    fitting = std::move(candidate);
                    high = middle - 1;
                } else {
                    low = middle + 1;
                }
            }
            width = fits;
            narrow = std::move(fitting);
        }
        block = std::move(narrow);
    }
    const double line = lineHeight(style);
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
