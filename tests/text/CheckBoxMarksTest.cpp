#include "text/CheckBoxMarks.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>

#include <gtest/gtest.h>

namespace {

using namespace kelpie;

enum class Box { checked, solid, none };

// A grey line as the recogniser is given it, drawn at `scale` times a
// 13-pixel dialog font: a check box (a grey frame, its inside a little
// shaded, a black tick) or something else in its place, then "自動"; and a
// reading of it that took the tick for "V" and the box's right edge for "|".
struct CheckBoxRow {
    QImage image;
    std::vector<TextAnalysis::Glyph> glyphs;
    std::vector<double> confidences;

    CheckBoxRow(Box box, int scale)
    {
        const int side = 14 * scale;
        const int textX = 12 * scale + side;
        image = QImage(textX + 30 * scale, 24 * scale, QImage::Format_Grayscale8);
        image.fill(255);
        QPainter painter(&image);
        const QRect frame(4 * scale, 5 * scale, side, side);
        if (box == Box::checked) {
            // Edges as toolkits draw them: whole pixels, `scale` thick.
            painter.fillRect(frame, QColor(180, 180, 180));
            painter.fillRect(frame.adjusted(scale, scale, -scale, -scale), QColor(223, 223, 223));
        } else if (box == Box::solid) {
            painter.fillRect(frame, QColor(120, 120, 120));
        }
        QPainterPath tick;
        tick.moveTo(frame.left() + 3 * scale, frame.top() + 7 * scale);
        tick.lineTo(frame.left() + 6 * scale, frame.bottom() - 3 * scale);
        tick.lineTo(frame.right() - 3 * scale, frame.top() + 3 * scale);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::black, 2 * scale));
        painter.drawPath(tick);
        QFont font(QStringLiteral("Noto Sans CJK SC"));
        font.setPixelSize(13 * scale);
        painter.setFont(font);
        painter.drawText(QPoint(textX, 17 * scale), QStringLiteral("自動"));
        painter.end();

        const auto add = [&](const QString& text, double x, double width, bool startsWord) {
            glyphs.push_back({text, Rect(x, frame.top(), width, side), startsWord});
            confidences.push_back(double(glyphs.size()));
        };
        add(QStringLiteral("V"), frame.left() + 2 * scale, 10 * scale, true);
        add(QStringLiteral("|"), frame.right() - scale, 2 * scale, false);
        add(QStringLiteral("自"), textX, 13 * scale, false);
        add(QStringLiteral("動"), textX + 13 * scale, 13 * scale, false);
    }

    QString text() const
    {
        QString joined;
        for (const TextAnalysis::Glyph& glyph : glyphs)
            joined += glyph.text;
        return joined;
    }
};

// The tick and the edge of a check box go, at the dialog's size and drawn
// twice as large (where the frame is thicker), and the text after them
// starts a word with its own confidences.
TEST(CheckBoxMarks, TheTickAndEdgeOfACheckBoxAreNoText)
{
    for (const int scale : {1, 2}) {
        CheckBoxRow row(Box::checked, scale);
        EXPECT_EQ(CheckBoxMarks::drop(row.image, row.glyphs, row.confidences), 2) << scale;
        EXPECT_EQ(row.text(), QStringLiteral("自動")) << scale;
        ASSERT_EQ(row.confidences, (std::vector<double>{3, 4})) << scale;
        EXPECT_TRUE(row.glyphs.front().startsWord);
    }
}

// A "V" with no frame around it may be text; one on a filled square is not
// in a check box either; nor is anything in a frame that was read as a
// character of its own (口 is a frame).
TEST(CheckBoxMarks, MarksOutsideAHollowFrameAndOtherReadingsAreKept)
{
    for (const Box box : {Box::none, Box::solid}) {
        CheckBoxRow row(box, 1);
        EXPECT_EQ(CheckBoxMarks::drop(row.image, row.glyphs, row.confidences), 0);
        EXPECT_EQ(row.text(), QStringLiteral("V|自動"));
    }
    CheckBoxRow row(Box::checked, 1);
    row.glyphs[0].text = QStringLiteral("口");
    EXPECT_EQ(CheckBoxMarks::drop(row.image, row.glyphs, row.confidences), 0);
    EXPECT_EQ(row.glyphs.size(), 4U);
}

} // namespace
