#include "text/TerminalEll.h"

#include "text/TextLayout.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

#include <gtest/gtest.h>

namespace {

using namespace kelpie;

// One terminal row of `drawn` in a fixed-pitch font, normalised as
// recognition sees it, read with every small l as a capital L, each
// character boxed in its cell.
struct TerminalRow {
    QImage normalized;
    TextAnalysis::Line line;
    QRect box;
    TerminalCells::Lattice cells;

    TerminalRow(const QString& drawn, const QString& family, int pixels)
    {
        QFont font(family);
        font.setPixelSize(pixels);
        const QFontMetrics metrics(font);
        const int cell = metrics.horizontalAdvance(QLatin1Char('M'));
        QImage image(cell * int(drawn.size()) + 20, metrics.height() + 10, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setFont(font);
        painter.setPen(QColor(0x20, 0x20, 0x20));
        for (qsizetype i = 0; i < drawn.size(); ++i)
            painter.drawText(QPoint(10 + cell * int(i), 5 + metrics.ascent()), drawn.mid(i, 1));
        painter.end();
        normalized = TextLayout::normalized(TextLayout::grey(image));
        box = QRect(10, 5, cell * int(drawn.size()), metrics.height());
        cells = {cell, 10};

        const QString read = QString(drawn).replace(QLatin1Char('l'), QLatin1Char('L'));
        TextAnalysis::Word word;
        for (qsizetype i = 0; i < read.size(); ++i) {
            const Rect at(10 + cell * double(i), 5, cell, metrics.height());
            if (read[i] == QLatin1Char(' ')) {
                line.words.push_back(word);
                word = {};
                continue;
            }
            word.characters.push_back({read.mid(i, 1), at});
        }
        line.words.push_back(word);
        TextAnalysis::retext(line);
    }

    std::vector<CellVote::Row> rows() { return {{&line, box, cells}}; }
};

// A small l read as a capital is an l again; capitals stay capitals, in
// the terminal fonts at the sizes terminals use.
TEST(TerminalEll, ACentredStemIsASmallL)
{
    for (const QString& family :
         {QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Nimbus Mono PS")}) {
        for (const int pixels : {11, 13, 15, 20}) {
            TerminalRow row(QStringLiteral("-l, --limit LICENSE Alice CMakeLists.txt"), family,
                            pixels);
            std::vector<CellVote::Row> rows = row.rows();
            EXPECT_EQ(TerminalEll::settle(row.normalized, rows), 3)
                << family.toStdString() << ' ' << pixels;
            EXPECT_EQ(row.line.text, QStringLiteral("-l, --limit LICENSE Alice CMakeLists.txt"))
                << family.toStdString() << ' ' << pixels;
        }
    }
}

// Nothing changes without cells to measure in or a grey image to measure.
TEST(TerminalEll, NeedsCellsAndAGreyImage)
{
    TerminalRow row(QStringLiteral("limit"), QStringLiteral("DejaVu Sans Mono"), 15);
    std::vector<CellVote::Row> rows = row.rows();
    EXPECT_EQ(TerminalEll::settle(row.normalized.convertToFormat(QImage::Format_RGB32), rows), 0);
    rows[0].cells = {};
    EXPECT_EQ(TerminalEll::settle(row.normalized, rows), 0);
    EXPECT_EQ(row.line.text, QStringLiteral("Limit"));
}

} // namespace
