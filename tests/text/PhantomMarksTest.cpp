#include "text/PhantomMarks.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

#include <gtest/gtest.h>

namespace {

using namespace kelpie;

// A grey line as the recogniser is given it: `left`, a wide blank as
// between two columns of a table, then `right`; the glyphs of a reading
// with a mark in `mark` at `markX` (pixels from the start of the blank) in a
// box `markWidth` wide.
struct TableRow {
    QImage image;
    std::vector<TextAnalysis::Glyph> glyphs;
    std::vector<double> confidences;

    TableRow(const QString& left, const QString& right, int blank, const QString& mark, int markX,
             int markWidth, const QString& drawnMark = {})
    {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(24);
        const QFontMetrics metrics(font);
        const int leftWidth = metrics.horizontalAdvance(left);
        const int rightX = 12 + leftWidth + blank;
        image
            = QImage(rightX + metrics.horizontalAdvance(right) + 12, 48, QImage::Format_Grayscale8);
        image.fill(255);
        QPainter painter(&image);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(QPoint(12, 32), left);
        painter.drawText(QPoint(rightX, 32), right);
        if (!drawnMark.isEmpty())
            painter.drawText(QPoint(12 + leftWidth + markX, 32), drawnMark);
        painter.end();

        const auto add = [this](const QString& text, double x, double width, bool startsWord) {
            glyphs.push_back({text, Rect(x, 10, width, 26), startsWord});
            confidences.push_back(double(glyphs.size()));
        };
        add(left, 12, leftWidth, true);
        add(mark, 12 + leftWidth + markX, markWidth, true);
        add(right, rightX, metrics.horizontalAdvance(right), false);
    }

    QString text() const
    {
        QString joined;
        for (const TextAnalysis::Glyph& glyph : glyphs)
            joined += glyph.text;
        return joined;
    }
};

// Quotes and stops read where the blank between two columns shows nothing
// go, wherever in the blank their box lies, and the word they started now
// starts at the next glyph; the confidences stay in step with the glyphs.
TEST(PhantomMarks, MarksInAWideBlankWithoutInkGo)
{
    const QString quote = QString::fromUtf8("”");
    const QString stop = QString::fromUtf8("。");
    for (const auto& [mark, x] : {std::pair{quote, 60}, std::pair{quote, 96}, std::pair{stop, 4}}) {
        TableRow row(QStringLiteral("Kevin"), QStringLiteral("2024"), 100, mark, x, 3);
        EXPECT_EQ(PhantomMarks::drop(row.image, row.glyphs, row.confidences), 1)
            << mark.toStdString() << x;
        EXPECT_EQ(row.text(), QStringLiteral("Kevin2024"));
        EXPECT_TRUE(row.glyphs[1].startsWord);
        EXPECT_EQ(row.confidences, (std::vector<double>{1, 3}));
    }
}

// Marks that are there stay: one drawn in the blank, a stop after a word
// followed by an ordinary space, marks the recogniser does not invent, and
// a reading of an image that is not a grey line.
TEST(PhantomMarks, RealMarksStay)
{
    const QString quote = QString::fromUtf8("”");
    TableRow drawn(QStringLiteral("Kevin"), QStringLiteral("2024"), 100, quote, 40, 12, quote);
    EXPECT_EQ(PhantomMarks::drop(drawn.image, drawn.glyphs, drawn.confidences), 0);

    TableRow sentence(QStringLiteral("done"), QStringLiteral("Next"), 14, QString::fromUtf8("。"),
                      0, 3);
    EXPECT_EQ(PhantomMarks::drop(sentence.image, sentence.glyphs, sentence.confidences), 0);

    TableRow colon(QStringLiteral("Name"), QStringLiteral("Kevin"), 100, QStringLiteral(":"), 2, 3);
    EXPECT_EQ(PhantomMarks::drop(colon.image, colon.glyphs, colon.confidences), 0);

    TableRow coloured(QStringLiteral("Kevin"), QStringLiteral("2024"), 100, quote, 60, 3);
    const QImage rgb = coloured.image.convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(PhantomMarks::drop(rgb, coloured.glyphs, coloured.confidences), 0);
    EXPECT_EQ(coloured.glyphs.size(), 3u);
}

} // namespace
