#include "text/DottedZero.h"

#include "text/TextLayout.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

#include <gtest/gtest.h>

namespace {

using namespace kelpie;

// One line of `drawn` in the usual terminal font, whose zero has a dot,
// normalised as recognition sees it, and an analysis of it that reads each
// character as `read` has it, boxed where it is drawn.
struct DrawnLine {
    QImage normalized;
    TextAnalysis analysis;

    DrawnLine(const QString& drawn, const QString& read, int pixels,
              const QString& family = QStringLiteral("DejaVu Sans Mono"))
    {
        QFont font(family);
        font.setPixelSize(pixels);
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
        for (qsizetype i = 0; i < drawn.size(); ++i) {
            const double advance = metrics.horizontalAdvance(drawn[i]);
            if (drawn[i] != QLatin1Char(' '))
                glyphs.push_back({QString(read[i]), Rect(x, 5, advance, metrics.height()), false});
            x += advance;
        }
        const double cell = metrics.horizontalAdvance(QLatin1Char('0'));
        const auto blank = [cell](double fromX, double toX) { return toX - fromX - cell; };
        analysis.lines.push_back(TextAnalysis::assembleLine(glyphs, 90, metrics.height(), blank));
    }
};

// A zero with a dot in its middle read as another digit or as O is a zero;
// the digits and letters it is mistaken for, drawn as themselves, keep
// their readings.
TEST(DottedZero, ADotInARingIsAZero)
{
    for (const int pixels : {13, 15, 20}) {
        DrawnLine dates(QStringLiteral("2024-05-12 301 O0"), QStringLiteral("2624-65-12 361 OO"),
                        pixels);
        EXPECT_EQ(DottedZero::settle(dates.normalized, dates.analysis), 4) << pixels;
        EXPECT_EQ(dates.analysis.lines[0].text, QStringLiteral("2024-05-12 301 O0")) << pixels;

        DrawnLine others(QStringLiteral("6 8 9 O o Q D"), QStringLiteral("6 8 9 O o Q D"), pixels);
        EXPECT_EQ(DottedZero::settle(others.normalized, others.analysis), 0) << pixels;
    }
}

// In a line whose zeros are dotted, an empty ring read as a zero is the
// letter O; in a line set in a font with plain zeros it stays a zero.
TEST(DottedZero, AnEmptyRingAmongDottedZerosIsTheLetterO)
{
    DrawnLine dotted(QStringLiteral("v0.1.0 OCR 90%"), QStringLiteral("v0.1.0 0CR 90%"), 15);
    EXPECT_EQ(DottedZero::settle(dotted.normalized, dotted.analysis), 1);
    EXPECT_EQ(dotted.analysis.lines[0].text, QStringLiteral("v0.1.0 OCR 90%"));

    DrawnLine plain(QStringLiteral("300 100"), QStringLiteral("300 100"), 15,
                    QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(DottedZero::settle(plain.normalized, plain.analysis), 0);
}

} // namespace
