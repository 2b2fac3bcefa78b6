#include "tests/text/SecretScreens.h"

#include "tests/text/SecretFixture.h"
#include "text/SecretFinder.h"

#include <gtest/gtest.h>

namespace {

using namespace kelpie;

// The screen's text as a perfect recogniser would give it: one line per
// piece, the pieces of a row side by side.
struct ExactReading {
    TextAnalysis analysis;
    std::vector<qsizetype> rowStart; // where each row begins in analysis.text()
};

ExactReading exactReading(const SecretScreens::Screen& screen)
{
    ExactReading reading;
    qsizetype position = 0;
    for (const SecretScreens::Row& row : screen.rows) {
        reading.rowStart.push_back(position);
        const QStringList pieces = row.text.split(QLatin1Char('\t'));
        for (qsizetype k = 0; k < pieces.size(); ++k)
            reading.analysis.lines.push_back(
                SecretFixture::line(pieces[k], 2000.0 * double(k), row.box.top()));
        position += row.text.size() + 1;
    }
    return reading;
}

// On the exact text of every bench screen the finder covers each planted
// secret whole, touches no look-alike, and finds nothing that was not
// planted as a secret.
TEST(SecretScreens, ExactTextFindsEverySecretAndNoLookAlike)
{
    int secrets = 0;
    int lookAlikes = 0;
    for (const SecretScreens::Screen& screen : SecretScreens::all()) {
        const ExactReading reading = exactReading(screen);
        const std::vector<SecretMatch> matches = SecretFinder::find(reading.analysis);
        const QString text = reading.analysis.text();
        std::vector<bool> matchUsed(matches.size(), false);
        for (const SecretScreens::Planted& item : screen.planted) {
            const qsizetype begin = reading.rowStart[std::size_t(item.row)] + item.offset;
            const qsizetype end = begin + item.text.size();
            ASSERT_EQ(text.mid(begin, item.text.size()), item.text);
            bool covered = false;
            bool touched = false;
            for (std::size_t i = 0; i < matches.size(); ++i) {
                const SecretRange& range = matches[i].range;
                if (range.begin < end && begin < range.end) {
                    touched = true;
                    matchUsed[i] = matchUsed[i] || item.secret;
                }
                covered = covered || (range.begin <= begin && end <= range.end);
            }
            if (item.secret) {
                ++secrets;
                EXPECT_TRUE(covered) << qPrintable(screen.name) << ": " << qPrintable(item.text);
            } else {
                ++lookAlikes;
                EXPECT_FALSE(touched) << qPrintable(screen.name) << ": " << qPrintable(item.text);
            }
        }
        for (std::size_t i = 0; i < matches.size(); ++i) {
            EXPECT_TRUE(matchUsed[i])
                << qPrintable(screen.name) << " found an unplanted secret: "
                << qPrintable(text.mid(matches[i].range.begin,
                                       matches[i].range.end - matches[i].range.begin));
        }
    }
    EXPECT_GE(secrets, 60);
    EXPECT_GE(lookAlikes, 60);
}

} // namespace
