#include "text/CellVote.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using namespace kelpie;

// A terminal drawn straight into a normalised image: cells 6 pixels wide,
// rows 12 pixels apart, each character a picture of its own (vertical
// strokes in the columns its pattern names, standing on one baseline), so
// equal patterns are equal pixels wherever they are drawn. Each row is read
// as its test says, one character per cell, as TerminalCells::fit places
// them.
class Screen {
public:
    static constexpr int cell = 6;
    static constexpr int pitch = 12;

    // Rows of (pattern, reading) per cell; pattern 0 is a blank cell.
    using Cells = std::vector<std::pair<int, QString>>;

    explicit Screen(const std::vector<Cells>& rows)
        : image(cell * 12, pitch * int(rows.size()), QImage::Format_Grayscale8)
    {
        image.fill(255);
        lines.reserve(rows.size());
        for (std::size_t r = 0; r < rows.size(); ++r)
            addRow(int(r), rows[r]);
    }

    std::vector<CellVote::Row> voteRows()
    {
        std::vector<CellVote::Row> result;
        for (std::size_t r = 0; r < lines.size(); ++r)
            result.push_back({&lines[r], boxes[r], TerminalCells::Lattice{cell, 0}});
        return result;
    }

    QImage image;
    std::vector<TextAnalysis::Line> lines;
    std::vector<QRect> boxes;

private:
    void addRow(int r, const Cells& cells)
    {
        const int top = r * pitch + 1;
        TextAnalysis::Line line;
        TextAnalysis::Word word;
        const auto endWord = [&] {
            if (!word.characters.empty())
                line.words.push_back(word);
            word = {};
        };
        for (std::size_t c = 0; c < cells.size(); ++c) {
            const auto& [pattern, text] = cells[c];
            if (pattern == 0) {
                endWord();
                continue;
            }
            const int left = int(c) * cell;
            for (int column = 0; column < 5; ++column) {
                if (pattern & (1 << column)) {
                    for (int y = top; y < top + 9; ++y)
                        image.scanLine(y)[left + column] = 0;
                }
            }
            const Rect box(left, top, cell, 9);
            word.characters.push_back({text, box});
            word.text += text;
            word.box = word.characters.size() == 1 ? box : word.box.united(box);
        }
        endWord();
        QStringList texts;
        for (const TextAnalysis::Word& each : line.words)
            texts.append(each.text);
        line.text = texts.join(QLatin1Char(' '));
        lines.push_back(line);
        boxes.push_back(QRect(0, top, int(cells.size()) * cell, 9));
    }
};

Screen::Cells row(const QString& readings, const std::vector<int>& patterns)
{
    Screen::Cells cells;
    for (std::size_t i = 0; i < patterns.size(); ++i)
        cells.emplace_back(patterns[i], QString(readings[qsizetype(i)]));
    return cells;
}

constexpr int zero = 0b01110, letterO = 0b10001, five = 0b00111, letterS = 0b11100,
              bold = 0b01111;

// The same picture read one way in most rows and another way in a few
// takes the common reading; a picture whose readings are split evenly
// keeps them, and so do pictures read one way only.
TEST(CellVote, APictureReadMostlyOneWayIsReadThatWayEverywhere)
{
    Screen screen({
        row(QStringLiteral("00 O"), {zero, zero, 0, letterO}),
        row(QStringLiteral("0O0 5"), {zero, zero, zero, 0, five}),
        row(QStringLiteral("00 S"), {zero, zero, 0, five}),
    });
    EXPECT_EQ(CellVote::settle(screen.image, screen.voteRows()), 1);
    EXPECT_EQ(screen.lines[1].text, QStringLiteral("000 5"));
    EXPECT_EQ(screen.lines[1].words.front().text, QStringLiteral("000"));
    // The real letter O keeps its reading; so do five's split readings.
    EXPECT_EQ(screen.lines[0].text, QStringLiteral("00 O"));
    EXPECT_EQ(screen.lines[2].text, QStringLiteral("00 S"));
}

// A font draws a character one way: a text that another picture is read as
// far more often, or always, belongs to that picture, and this one takes
// its other reading.
TEST(CellVote, AReadingThatBelongsToAnotherPictureYieldsToThisPicturesOwn)
{
    // Letter S mostly read as 5, while the real 5 is read as 5 far more
    // often: the S picture takes its one reading as S.
    Screen mostly({
        row(QStringLiteral("55555"), {five, five, five, five, five}),
        row(QStringLiteral("55555"), {five, five, five, five, five}),
        row(QStringLiteral("5 5 S"), {letterS, 0, letterS, 0, letterS}),
    });
    EXPECT_EQ(CellVote::settle(mostly.image, mostly.voteRows()), 2);
    EXPECT_EQ(mostly.lines[2].text, QStringLiteral("S S S"));

    // Digit 5 read as S as often as not, while the real S is always S.
    Screen contested({
        row(QStringLiteral("S5S5"), {five, five, five, five}),
        row(QStringLiteral("SS SS"), {letterS, letterS, 0, five, five}),
    });
    CellVote::settle(contested.image, contested.voteRows());
    EXPECT_EQ(contested.lines[0].text, QStringLiteral("5555"));
    EXPECT_EQ(contested.lines[1].text, QStringLiteral("SS 55"));

    // A second way of drawing 5 (bold) with no other reading stays 5.
    Screen variant({
        row(QStringLiteral("55555"), {five, five, five, five, five}),
        row(QStringLiteral("555"), {bold, bold, bold}),
    });
    EXPECT_EQ(CellVote::settle(variant.image, variant.voteRows()), 0);
}

// A character the recogniser split in two keeps its one cell; the cell's
// picture read alone elsewhere says which of the two it is, and then it
// votes with the others ("%" read as "%*", as "%" and as "#").
TEST(CellVote, ASplitReadingIsThePicturesOwnCharacter)
{
    constexpr int percent = 0b10101;
    Screen screen({
        Screen::Cells{{percent, QStringLiteral("#")}, {letterO, QStringLiteral("O")}},
        Screen::Cells{{percent, QStringLiteral("%*")}, {five, QStringLiteral("5")}},
        Screen::Cells{{five, QStringLiteral("5")}, {percent, QStringLiteral("%")}},
        Screen::Cells{{zero, QStringLiteral("0O")}, {five, QStringLiteral("5")}},
    });
    EXPECT_EQ(CellVote::settle(screen.image, screen.voteRows()), 2);
    EXPECT_EQ(screen.lines[0].text, QStringLiteral("%O"));
    EXPECT_EQ(screen.lines[1].text, QStringLiteral("%5"));
    // A split reading of a picture never read alone stays as it is.
    EXPECT_EQ(screen.lines[3].text, QStringLiteral("0O5"));
}

// Characters that do not sit in a cell of their own (a row whose reading
// did not fit its cells, a wide character) neither vote nor change; the
// characters of their row that do sit in one still do.
TEST(CellVote, OnlyCharactersInACellOfTheirOwnTakePart)
{
    Screen screen({
        row(QStringLiteral("000"), {zero, zero, zero}),
        row(QStringLiteral("O0"), {zero, zero}),
        row(QString::fromUtf8("中中xO"), {bold, bold, zero, zero}),
    });
    TextAnalysis::Character& loose = screen.lines[1].words.front().characters.front();
    loose.box = Rect(1, loose.box.minY(), 4, loose.box.height());
    // The third row: a wide character over its first two cells, then an
    // x and an O in cells of their own.
    std::vector<TextAnalysis::Character>& third = screen.lines[2].words.front().characters;
    third[0].box = third[0].box.united(third[1].box);
    third.erase(third.begin() + 1);
    TextAnalysis::retext(screen.lines[2]);
    EXPECT_EQ(CellVote::settle(screen.image, screen.voteRows()), 2);
    EXPECT_EQ(screen.lines[1].text, QStringLiteral("O0"));
    EXPECT_EQ(screen.lines[2].text, QString::fromUtf8("中00"));
}

// What the recogniser weighed for each cell, as a test says, and which
// rows it was asked about.
struct Weighed {
    std::map<std::pair<std::size_t, int>, std::vector<TextAnalysis::Choice>> choices;
    std::vector<std::size_t> askedRows;

    CellVote::Alternatives alternatives()
    {
        return [this](std::size_t row, const TextAnalysis::Character& character) {
            askedRows.push_back(row);
            const auto found = choices.find({row, int(character.box.minX()) / Screen::cell});
            return found == choices.end()
                ? std::vector<TextAnalysis::Choice>{{character.text, 95}}
                : found->second;
        };
    }
};

// A picture read only as the character of another, among the usual
// pictures of its row, takes the reading the recogniser weighed likeliest
// for it ("468G", its G read as the 6 of other rows). A bold word, each
// of its pictures read as another's letter, is not in doubt and is not
// asked about.
TEST(CellVote, APictureReadAsAnothersCharacterTakesItsLikeliestReading)
{
    constexpr int six = 0b10110, letterG = 0b10100, four = 0b11001, eight = 0b11011;
    Screen screen({
        row(QStringLiteral("666 666"), {six, six, six, 0, six, six, six}),
        row(QStringLiteral("48 48"), {four, eight, 0, four, eight}),
        row(QStringLiteral("4686"), {four, six, eight, letterG}),
        row(QStringLiteral("666"), {bold, bold, bold}),
    });
    Weighed weighed;
    weighed.choices[{2, 3}] = {{QStringLiteral("6"), 58}, {QStringLiteral("G"), 90},
                               {QStringLiteral("C"), 18}};
    EXPECT_EQ(CellVote::settle(screen.image, screen.voteRows(), weighed.alternatives()), 1);
    EXPECT_EQ(screen.lines[2].text, QStringLiteral("468G"));
    EXPECT_EQ(screen.lines[3].text, QStringLiteral("666"));
    EXPECT_EQ(weighed.askedRows, std::vector<std::size_t>{2});

    // Weighed as the other picture's character after all: it stays.
    Screen sure({
        row(QStringLiteral("666 666"), {six, six, six, 0, six, six, six}),
        row(QStringLiteral("48 48"), {four, eight, 0, four, eight}),
        row(QStringLiteral("4686"), {four, six, eight, letterG}),
    });
    Weighed likewise;
    likewise.choices[{2, 3}] = {{QStringLiteral("6"), 93}, {QStringLiteral("G"), 30}};
    EXPECT_EQ(CellVote::settle(sure.image, sure.voteRows(), likewise.alternatives()), 0);
}

// A picture read two ways that the vote lets stand takes the reading its
// readings weighed likeliest in all, when that is likely enough; nothing
// is asked where the vote settles every picture.
TEST(CellVote, APictureReadTwoWaysEvenlyTakesTheLikeliestInAll)
{
    constexpr int at = 0b01101;
    const auto screen = [] {
        return Screen({
            row(QStringLiteral("B"), {at}),
            row(QStringLiteral("B@ @B"), {at, at, 0, at, at}),
        });
    };
    const auto weigh = [](double b, double otherB, double a, double otherA) {
        Weighed weighed;
        for (const auto& [r, c] : std::vector<std::pair<std::size_t, int>>{{0, 0}, {1, 0}, {1, 4}})
            weighed.choices[{r, c}] = {{QStringLiteral("B"), b}, {QStringLiteral("@"), otherB}};
        for (const auto& [r, c] : std::vector<std::pair<std::size_t, int>>{{1, 1}, {1, 3}})
            weighed.choices[{r, c}] = {{QStringLiteral("@"), a}, {QStringLiteral("B"), otherA}};
        return weighed;
    };
    Screen clear = screen();
    Weighed likely = weigh(89, 78, 93, 15);
    EXPECT_EQ(CellVote::settle(clear.image, clear.voteRows(), likely.alternatives()), 3);
    EXPECT_EQ(clear.lines[0].text, QStringLiteral("@"));
    EXPECT_EQ(clear.lines[1].text, QStringLiteral("@@ @@"));

    // Neither reading likely enough on average: both stand.
    Screen unclear = screen();
    Weighed unlikely = weigh(40, 30, 45, 10);
    EXPECT_EQ(CellVote::settle(unclear.image, unclear.voteRows(), unlikely.alternatives()), 0);

    Screen settled({
        row(QStringLiteral("000"), {zero, zero, zero}),
        row(QStringLiteral("O0"), {zero, zero}),
    });
    Weighed never;
    EXPECT_EQ(CellVote::settle(settled.image, settled.voteRows(), never.alternatives()), 1);
    EXPECT_TRUE(never.askedRows.empty());
}

} // namespace
