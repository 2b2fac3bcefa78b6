#include "editor/LiveTextSelection.h"

#include "LiveTextFixture.h"

#include <gtest/gtest.h>

using namespace kelpie;
using test::recognisedLine;
using test::recognisedLines;

namespace {

// The left edge of character `index` of line `line` in recognisedLines(),
// half-way down the line.
Point at(int line, double index) { return {10 + 10 * index, 10 + 30.0 * line + 10}; }

class LiveTextSelectionTest : public testing::Test {
protected:
    void SetUp() override
    {
        selection.setAnalysis(recognisedLines(
            {QStringLiteral("Copy to clipboard"), QStringLiteral("Pin image above"),
             QStringLiteral("今天下午三点半"), QStringLiteral("保存到 Downloads 文件夹")}));
        selection.takeChangedArea();
    }

    LiveTextSelection selection;
};

TEST_F(LiveTextSelectionTest, TextReadsLinesInOrderWithoutSpacesBetweenChineseCharacters)
{
    EXPECT_EQ(selection.text(),
              QStringLiteral("Copy to clipboard\nPin image above\n今天下午三点半\n保存到 Downloads "
                             "文件夹"));
    EXPECT_EQ(selection.text(), selection.analysis()->text());
    EXPECT_FALSE(selection.hasActiveTextSelection());
    EXPECT_TRUE(selection.selectedText().isEmpty());
}

TEST_F(LiveTextSelectionTest, DragAcrossLinesTakesRestOfFirstLinesBetweenAndStartOfLast)
{
    ASSERT_TRUE(selection.press(at(0, 5), 1)); // before "to"
    selection.drag(at(2, 3.8));                // after "今天下午"
    EXPECT_EQ(selection.selectedText(), QStringLiteral("to clipboard\nPin image above\n今天下午"));

    // Dragging back above the anchor selects towards the start instead.
    selection.drag(at(0, 1.2));
    EXPECT_EQ(selection.selectedText(), QStringLiteral("opy "));
    selection.release();
    EXPECT_FALSE(selection.selecting());
    EXPECT_EQ(selection.selectedRanges(), (QList<LiveTextSelection::Range>{{1, 4}}));
}

TEST_F(LiveTextSelectionTest, DragOffTheTextFollowsTheNearestLine)
{
    ASSERT_TRUE(selection.press(at(1, 0.2), 1));
    selection.drag({400, at(1, 0).y}); // far right of "Pin image above"
    EXPECT_EQ(selection.selectedText(), QStringLiteral("Pin image above"));
    selection.drag({-50, 500}); // below and left of everything: start of the last line
    EXPECT_EQ(selection.selectedText(), QStringLiteral("Pin image above\n今天下午三点半\n"));
}

TEST_F(LiveTextSelectionTest, ChineseSelectsCharacterByCharacter)
{
    ASSERT_TRUE(selection.press(at(2, 1.2), 1)); // after "今"
    selection.drag(at(2, 4.2));                  // after "今天下午"
    EXPECT_EQ(selection.selectedText(), QStringLiteral("天下午"));
}

TEST_F(LiveTextSelectionTest, DoubleClickTakesTheWordAndTripleClickTheLine)
{
    ASSERT_TRUE(selection.press(at(0, 10), 2)); // inside "clipboard"
    EXPECT_EQ(selection.selectedText(), QStringLiteral("clipboard"));
    selection.release();

    // A double click in Chinese takes the run of Han characters, not one.
    ASSERT_TRUE(selection.press(at(3, 1), 2));
    EXPECT_EQ(selection.selectedText(), QStringLiteral("保存到"));
    // Dragging after a double click extends by whole words.
    selection.drag(at(3, 5));
    EXPECT_EQ(selection.selectedText(), QStringLiteral("保存到 Downloads"));
    selection.release();

    ASSERT_TRUE(selection.press(at(1, 6), 3));
    EXPECT_EQ(selection.selectedText(), QStringLiteral("Pin image above"));
    selection.drag(at(2, 0));
    EXPECT_EQ(selection.selectedText(), QStringLiteral("Pin image above\n今天下午三点半"));
}

TEST_F(LiveTextSelectionTest, PressAwayFromTextStartsNothingAndKeepsTheSelection)
{
    selection.setSelectedRanges({{0, 4}});
    EXPECT_FALSE(selection.hasText({5, 20}));
    EXPECT_FALSE(selection.hasText({10, 32})); // between two lines
    EXPECT_TRUE(selection.hasText(at(1, 3)));
    EXPECT_FALSE(selection.press({300, 300}, 1));
    EXPECT_FALSE(selection.selecting());
    EXPECT_EQ(selection.selectedText(), QStringLiteral("Copy"));
}

TEST_F(LiveTextSelectionTest, SelectedRangesAreCutToTheTextAndMerged)
{
    const auto all = selection.text().size();
    selection.setSelectedRanges({{0, all}});
    EXPECT_EQ(selection.selectedText(), selection.text());

    selection.setSelectedRanges({{7, 5}, {-3, 7}, {5, 2}, {all - 2, 50}, {3, 0}});
    EXPECT_EQ(selection.selectedRanges(),
              (QList<LiveTextSelection::Range>{{0, 4}, {5, 7}, {all - 2, 2}}));
    EXPECT_EQ(selection.selectedText(), QStringLiteral("Copy\nto clip\n件夹"));

    selection.resetSelection();
    EXPECT_FALSE(selection.hasActiveTextSelection());
    EXPECT_TRUE(selection.highlights().isEmpty());
}

TEST_F(LiveTextSelectionTest, HighlightsCoverTheSelectedCharactersOfEachLine)
{
    selection.setSelectedRanges({{5, 7}}); // "to clip"
    EXPECT_EQ(selection.highlights(), (QList<Rect>{Rect(60, 10, 70, 20)}));

    // The first line is taken to its end; a drag that ends in the blank
    // of a space, nearer the word before it, stops after that word.
    ASSERT_TRUE(selection.press(at(0, 5), 1));
    selection.drag(at(1, 2.8));
    EXPECT_EQ(selection.selectedText(), QStringLiteral("to clipboard\nPin"));
    EXPECT_EQ(selection.highlights(), (QList<Rect>{Rect(60, 10, 120, 20), Rect(10, 40, 30, 20)}));
    selection.drag(at(1, 3.6));
    EXPECT_EQ(selection.selectedText(), QStringLiteral("to clipboard\nPin "));
}

TEST_F(LiveTextSelectionTest, ChangedAreaIsOnlyTheLinesWhoseHighlightMoved)
{
    ASSERT_TRUE(selection.press(at(0, 2), 1));
    selection.drag(at(3, 2));
    selection.takeChangedArea();

    // One more character on the last line: the three lines above keep
    // their highlight and are not repainted.
    selection.drag(at(3, 3));
    const QList<Rect> changed = selection.takeChangedArea();
    ASSERT_FALSE(changed.isEmpty());
    for (const Rect& area : changed) {
        EXPECT_GE(area.minY(), 100) << "line above the moved end repainted";
    }
    // Nothing moved since.
    selection.drag(at(3, 3.1));
    EXPECT_TRUE(selection.takeChangedArea().isEmpty());

    // A reset repaints what was highlighted, every line of it.
    selection.resetSelection();
    EXPECT_EQ(selection.takeChangedArea().size(), 4);
}

TEST_F(LiveTextSelectionTest, NewAnalysisDropsTheSelectionAndNullClearsTheText)
{
    selection.setSelectedRanges({{0, 4}});
    selection.setAnalysis(recognisedLines({QStringLiteral("Other")}));
    EXPECT_FALSE(selection.hasActiveTextSelection());
    EXPECT_EQ(selection.text(), QStringLiteral("Other"));
    selection.setAnalysis(nullptr);
    EXPECT_TRUE(selection.text().isEmpty());
    EXPECT_FALSE(selection.hasText(at(0, 1)));
    EXPECT_FALSE(selection.press(at(0, 1), 1));
}

TEST(LiveTextSelection, WordsWithoutCharacterBoxesStillSelectAsWholes)
{
    auto analysis = std::make_shared<TextAnalysis>();
    TextAnalysis::Line line = recognisedLine(QStringLiteral("alpha beta"), 0, 0);
    for (auto& word : line.words)
        word.characters.clear();
    analysis->lines.push_back(line);
    LiveTextSelection selection;
    selection.setAnalysis(analysis);
    EXPECT_EQ(selection.text(), QStringLiteral("alpha beta"));
    ASSERT_TRUE(selection.press({20, 10}, 1));
    selection.drag({95, 10});
    EXPECT_EQ(selection.selectedText(), QStringLiteral("alpha beta"));
}

} // namespace
