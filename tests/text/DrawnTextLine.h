#pragma once

#include "text/TextAnalysis.h"
#include "text/TextLayout.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

namespace kelpie {

// One line of `drawn` in a font, normalised as recognition sees it, and an
// analysis of it that reads each character as `read` has it (one character
// for each drawn one), boxed where it is drawn, with words where spaces are
// drawn or read.
struct DrawnTextLine {
    QImage normalized;
    TextAnalysis analysis;

    DrawnTextLine(const QString& drawn, const QString& read, int pixels,
                  const QString& family = QStringLiteral("DejaVu Sans Mono"))
        : DrawnTextLine(drawn, read, fontOf(family, pixels))
    {
    }

    DrawnTextLine(const QString& drawn, const QString& read, const QFont& font)
    {
        const QFontMetrics metrics(font);
        QImage image(metrics.horizontalAdvance(drawn) + 20, metrics.height() + 10,
                     QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setFont(font);
        painter.setPen(QColor(0x20, 0x20, 0x20));
        painter.drawText(QPoint(10, 5 + metrics.ascent()), drawn);
        painter.end();
        normalized = TextLayout::normalized(TextLayout::grey(image));

        std::vector<TextAnalysis::Glyph> glyphs;
        double x = 10;
        bool afterSpace = false;
        for (qsizetype i = 0; i < drawn.size(); ++i) {
            const double advance = metrics.horizontalAdvance(drawn[i]);
            // A character read as a space is no glyph: a word starts after it.
            if (read[i] == QLatin1Char(' ') && drawn[i] != QLatin1Char(' ')) {
                afterSpace = true;
                x += advance;
                continue;
            }
            if (drawn[i] != QLatin1Char(' '))
                glyphs.push_back(
                    {QString(read[i]), Rect(x, 5, advance, metrics.height()), afterSpace});
            afterSpace = drawn[i] == QLatin1Char(' ');
            x += advance;
        }
        const double cell = metrics.horizontalAdvance(QLatin1Char('0'));
        const auto blank = [cell](double fromX, double toX) { return toX - fromX - cell; };
        analysis.lines.push_back(TextAnalysis::assembleLine(glyphs, 90, metrics.height(), blank));
    }

    QString text() const { return analysis.lines.at(0).text; }

    static QFont fontOf(const QString& family, int pixels)
    {
        QFont font(family);
        font.setPixelSize(pixels);
        return font;
    }
};

} // namespace kelpie
