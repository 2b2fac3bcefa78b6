#include "text/GapUnderscore.h"

#include "tests/text/DrawnTextLine.h"

#include <gtest/gtest.h>

namespace {

using namespace kelpie;

QFont typeface(int pixels, bool bold, bool underlined = false)
{
    QFont font = DrawnTextLine::fontOf(QStringLiteral("DejaVu Sans"), pixels);
    font.setBold(bold);
    font.setUnderline(underlined);
    return font;
}

// An underscore read as a space joins its words again, in plain and bold
// type, after a letter with a descender too.
TEST(GapUnderscore, AStrokeAlongTheBottomOfAGapIsAnUnderscore)
{
    for (const int pixels : {13, 16, 20}) {
        for (const bool bold : {false, true}) {
            DrawnTextLine line(QStringLiteral("log_file max_upload (path)"),
                               QStringLiteral("log file max upload (path)"),
                               typeface(pixels, bold));
            EXPECT_EQ(GapUnderscore::settle(line.normalized, line.analysis), 2)
                << pixels << ' ' << bold;
            EXPECT_EQ(line.text(), QStringLiteral("log_file max_upload (path)"))
                << pixels << ' ' << bold;
        }
    }
}

// Real spaces stay, and so do the spaces of underlined words (a link):
// their stroke runs under the words as well.
TEST(GapUnderscore, SpacesAndUnderlinesStay)
{
    DrawnTextLine spaced(QStringLiteral("log file (path)"), QStringLiteral("log file (path)"),
                         typeface(16, true));
    EXPECT_EQ(GapUnderscore::settle(spaced.normalized, spaced.analysis), 0);
    // The words themselves stay, not only the line's text.
    const std::vector<TextAnalysis::Word>& words = spaced.analysis.lines.at(0).words;
    ASSERT_EQ(words.size(), 3u);
    EXPECT_EQ(words[0].text, QStringLiteral("log"));
    EXPECT_EQ(words[0].characters.size(), 3u);

    DrawnTextLine link(QStringLiteral("see the manual"), QStringLiteral("see the manual"),
                       typeface(16, false, true));
    EXPECT_EQ(GapUnderscore::settle(link.normalized, link.analysis), 0);
    EXPECT_EQ(link.text(), QStringLiteral("see the manual"));
}

} // namespace
