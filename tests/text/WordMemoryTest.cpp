#include "text/WordMemory.h"

#include <QPainter>

#include <gtest/gtest.h>

namespace {

using namespace kelpie;
using Line = TextAnalysis::Line;
using Word = TextAnalysis::Word;

Word word(const QString& text, const QRect& box)
{
    const Rect rect(box.x(), box.y(), box.width(), box.height());
    return Word{text, rect, {TextAnalysis::Character{text, rect}}};
}

Line line(std::vector<Word> words) { return TextAnalysis::lineOf(std::move(words), 90); }

QStringList texts(const TextAnalysis& analysis)
{
    QStringList result;
    for (const Line& each : analysis.lines)
        result.append(each.text);
    return result;
}

// Two rows of "words": dark blocks with a notch each, so every word has its
// own pixels. Row one holds alpha, beta, gamma; row two delta, epsilon.
struct Page {
    QImage image{240, 60, QImage::Format_RGB32};
    QRect alpha{10, 10, 40, 12}, beta{70, 10, 40, 12}, gamma{130, 10, 40, 12};
    QRect delta{10, 36, 40, 12}, epsilon{70, 36, 50, 12};

    Page()
    {
        image.fill(Qt::white);
        QPainter painter(&image);
        int notch = 0;
        for (const QRect& box : {alpha, beta, gamma, delta, epsilon}) {
            painter.fillRect(box, QColor(40, 40, 40));
            painter.fillRect(box.x() + 4 + 3 * notch++, box.y() + 3, 2, 6, Qt::white);
        }
    }

    TextAnalysis reading() const
    {
        return TextAnalysis{{line({word(QStringLiteral("alpha"), alpha),
                                   word(QStringLiteral("beta"), beta),
                                   word(QStringLiteral("gamma"), gamma)}),
                              line({word(QStringLiteral("delta"), delta),
                                    word(QStringLiteral("epsilon"), epsilon)})}};
    }

    // The page with `box` painted over, as a mask hides it.
    QImage masked(const QRect& box) const
    {
        QImage copy = image.copy();
        QPainter(&copy).fillRect(box, Qt::black);
        return copy;
    }
};

// An edit hides beta. The fresh reading misreads alpha, splits row one
// around the mask and loses row two: the unchanged words come back in their
// rows and order, and beta, whose pixels changed, stays out.
TEST(WordMemory, UnchangedWordsComeBackAndWhatAnEditChangedIsReadAfresh)
{
    const Page page;
    WordMemory memory(4);
    memory.remember(page.image, page.reading());

    const QImage masked = page.masked(page.beta.adjusted(-1, -1, 1, 1));
    const TextAnalysis fresh{{line({word(QStringLiteral("a1pha"), page.alpha)}),
                              line({word(QStringLiteral("gamma"), page.gamma.adjusted(0, 1, 0, 0)),
                                    word(QStringLiteral("###"), page.beta)})}};
    const TextAnalysis recalled = memory.recall(masked, fresh);

    // "###" is what the fresh reading made of the mask: it stays, read from
    // the image as it is now.
    EXPECT_EQ(texts(recalled),
              (QStringList{QStringLiteral("alpha ### gamma"), QStringLiteral("delta epsilon")}));
    ASSERT_EQ(recalled.lines.size(), 2u);
    const Line& first = recalled.lines.front();
    EXPECT_EQ(first.words.front().box, Rect(10, 10, 40, 12));
    // Gamma read the same keeps the fresh reading's own box.
    EXPECT_EQ(first.words.back().box, Rect(130, 11, 40, 11));
    EXPECT_EQ(first.box, Rect(10, 10, 160, 12));
    for (const Line& row : recalled.lines) {
        for (const Word& each : row.words)
            EXPECT_NE(each.text, QStringLiteral("beta"));
    }
}

// A word is recalled only when nothing within its margin changed, and only
// into an image of the same size.
TEST(WordMemory, AnyChangeNearAWordOrAnotherImageSizeRecallsNothing)
{
    const Page page;
    WordMemory memory(4);
    memory.remember(page.image, page.reading());
    const TextAnalysis nothing;

    // One pixel two pixels off alpha's box.
    QImage touched = page.image.copy();
    touched.setPixel(page.alpha.right() + 2, page.alpha.top(), qRgb(250, 250, 250));
    const QStringList rows = texts(memory.recall(touched, nothing));
    EXPECT_EQ(rows, (QStringList{QStringLiteral("beta gamma"), QStringLiteral("delta epsilon")}));

    // The same words on a larger canvas are another image.
    QImage larger(page.image.width() + 1, page.image.height(), QImage::Format_RGB32);
    larger.fill(Qt::white);
    QPainter(&larger).drawImage(0, 0, page.image);
    EXPECT_TRUE(memory.recall(larger, nothing).isEmpty());

    memory.clear();
    EXPECT_TRUE(memory.recall(page.image, nothing).isEmpty());
}

// A row the fresh reading lost comes back after the row that preceded it
// when first read, not at the end.
TEST(WordMemory, ALostRowReturnsInReadingOrder)
{
    Page page;
    TextAnalysis three = page.reading();
    const QRect zeta(10, 0, 30, 6);
    QPainter(&page.image).fillRect(zeta, QColor(60, 60, 60));
    three.lines.insert(three.lines.begin(), line({word(QStringLiteral("zeta"), zeta)}));
    WordMemory memory(4);
    memory.remember(page.image, three);

    // Epsilon is hidden; the fresh reading has zeta and delta but not row one.
    const QImage masked = page.masked(page.epsilon.adjusted(-3, -3, 3, 3));
    const TextAnalysis fresh{{line({word(QStringLiteral("zeta"), zeta)}),
                              line({word(QStringLiteral("delta"), page.delta)})}};
    EXPECT_EQ(texts(memory.recall(masked, fresh)),
              (QStringList{QStringLiteral("zeta"), QStringLiteral("alpha beta gamma"),
                           QStringLiteral("delta")}));
}

} // namespace
