#include "text/TextAnalysis.h"

#include <QList>

#include <gtest/gtest.h>

#include <map>

namespace {

using namespace kelpie;
using Glyph = TextAnalysis::Glyph;

// Glyphs 10 pixels wide on a line 20 pixels high, `gaps[i]` blank pixels
// before glyph i + 1; the blank measure reads those gaps back.
struct Line {
    std::vector<Glyph> glyphs;
    std::map<int, double> gaps; // keyed by the right glyph's left edge

    void add(const QString& text, bool startsWord, double gapBefore = 1)
    {
        double left = 0;
        if (!glyphs.empty())
            left = glyphs.back().box.maxX() + gapBefore;
        glyphs.push_back(Glyph{text, Rect(left, 0, 10, 20), startsWord});
        gaps[int(left)] = glyphs.size() > 1 ? gapBefore : 0;
    }

    TextAnalysis::Line assemble() const
    {
        const auto blank = [this](double fromX, double toX) {
            double widest = 0;
            for (const auto& [left, gap] : gaps) {
                if (left > fromX && left <= toX)
                    widest = std::max(widest, gap);
            }
            return widest;
        };
        return TextAnalysis::assembleLine(glyphs, 90, 20, blank);
    }
};

TEST(TextAnalysis, NoSpacesBetweenChineseCharacters)
{
    // The Chinese models mark nearly every character as a word of its own.
    Line line;
    for (const char* c : {"今", "天", "下", "午"})
        line.add(QString::fromUtf8(c), true, 6);
    const TextAnalysis::Line result = line.assemble();
    EXPECT_EQ(result.text, QString::fromUtf8("今天下午"));
    ASSERT_EQ(result.words.size(), 1u);
    EXPECT_EQ(result.words[0].characters.size(), 4u);
}

TEST(TextAnalysis, WideBlanksBetweenChineseCharactersSeparateColumns)
{
    // Two buttons, "取消" and "删除", or two table columns: a blank of half
    // a character and more is a space; radicals drawn apart (a third of
    // the height) are not.
    Line line;
    line.add(QString::fromUtf8("取"), true);
    line.add(QString::fromUtf8("消"), true, 7);
    line.add(QString::fromUtf8("删"), true, 10);
    line.add(QString::fromUtf8("除"), true, 2);
    EXPECT_EQ(line.assemble().text, QString::fromUtf8("取消 删除"));
}

TEST(TextAnalysis, SpacesBetweenChineseAndLatinFollowTheImage)
{
    Line typed; // "保存 PNG": a typed space is about a quarter of the height
    typed.add(QString::fromUtf8("保"), true);
    typed.add(QString::fromUtf8("存"), true);
    typed.add(QStringLiteral("P"), true, 5);
    typed.add(QStringLiteral("N"), false);
    typed.add(QStringLiteral("G"), false);
    EXPECT_EQ(typed.assemble().text, QString::fromUtf8("保存 PNG"));

    Line tight; // "保存PNG": the recogniser's word break is not a space
    tight.add(QString::fromUtf8("保"), true);
    tight.add(QString::fromUtf8("存"), true);
    tight.add(QStringLiteral("P"), true, 2);
    tight.add(QStringLiteral("N"), false);
    tight.add(QStringLiteral("G"), false);
    EXPECT_EQ(tight.assemble().text, QString::fromUtf8("保存PNG"));

    // A one is centred in the advance every digit has, so the blank beside
    // it is a tenth of the height wider: "F1 开" with a typed space, but
    // "5月12日" where the blank before the one is only as wide as a
    // typed space ("月 5" at that width has one).
    Line after;
    after.add(QStringLiteral("F"), true);
    after.add(QStringLiteral("1"), false);
    after.add(QString::fromUtf8("开"), true, 7);
    EXPECT_EQ(after.assemble().text, QString::fromUtf8("F1 开"));
    Line date;
    date.add(QStringLiteral("5"), true);
    date.add(QString::fromUtf8("月"), true, 2);
    date.add(QStringLiteral("1"), true, 5);
    date.add(QStringLiteral("2"), false);
    date.add(QString::fromUtf8("日"), true, 2);
    EXPECT_EQ(date.assemble().text, QString::fromUtf8("5月12日"));
    Line five;
    five.add(QString::fromUtf8("月"), true);
    five.add(QStringLiteral("5"), true, 5);
    EXPECT_EQ(five.assemble().text, QString::fromUtf8("月 5"));
}

// Adds each character of `text` as a glyph; a space in `text` stands for a
// blank of 8 pixels before the next glyph (wider than a typed space) and a
// recogniser word break.
void addAll(Line& line, const char* text)
{
    double gap = 1;
    bool starts = true;
    for (const uint c : QString::fromUtf8(text).toUcs4()) {
        if (c == ' ') {
            gap = 8;
            starts = true;
            continue;
        }
        const char32_t point = c;
        line.add(QString::fromUcs4(&point, 1), starts, gap);
        gap = 1;
        starts = false;
    }
}

TEST(TextAnalysis, FullWidthPunctuationTakesNoSpacesAndKeepsItsForm)
{
    // The blank inside a full-width mark's cell is no typed space, whether
    // the model read the mark itself or its ASCII look-alike.
    const std::pair<const char*, const char*> cases[] = {
        {"时间: 14:00", "时间：14:00"},
        {"参会: 张伟、 Bob (远程)", "参会：张伟、Bob（远程）"},
        {"选中行 (蓝底白字) 识别", "选中行（蓝底白字）识别"},
        {"确定吗 ?", "确定吗？"},
        {"日 ， 原因", "日，原因"},
        {"费用: 每月 1,280", "费用：每月 1,280"},
    };
    for (const auto& [read, expected] : cases) {
        Line line;
        addAll(line, read);
        EXPECT_EQ(line.assemble().text, QString::fromUtf8(expected)) << read;
    }
}

TEST(TextAnalysis, AsciiPunctuationOutsideChineseTextStaysAsRead)
{
    // Between Han and Latin words, or among Latin text and digits, an ASCII
    // mark is as likely as a full-width one and keeps its typed space.
    const char* const cases[] = {
        "错误: connection reset", "alice@desk:~/文档$ ls", "Bob (remote) 已到", "1,280 元",
        "README.md 中的",
    };
    for (const char* read : cases) {
        Line line;
        addAll(line, read);
        EXPECT_EQ(line.assemble().text, QString::fromUtf8(read)) << read;
    }
}

TEST(TextAnalysis, LatinWordsBreakWhereTheRecogniserOrAWideBlankSaysSo)
{
    Line line;
    line.add(QStringLiteral("C"), true);
    line.add(QStringLiteral("o"), false);
    line.add(QStringLiteral("p"), true, 1);  // a word break without much blank
    line.add(QStringLiteral("y"), false, 8); // a blank of 0.4 line heights
    line.add(QStringLiteral("!"), false, 2);
    const TextAnalysis::Line result = line.assemble();
    EXPECT_EQ(result.text, QStringLiteral("Co p y!"));

    // Words and characters add up to the line, boxes unite.
    ASSERT_EQ(result.words.size(), 3u);
    QString fromCharacters;
    for (const TextAnalysis::Word& word : result.words) {
        QString characters;
        Rect box = Rect::null();
        for (const TextAnalysis::Character& c : word.characters) {
            characters += c.text;
            box = box.united(c.box);
        }
        EXPECT_EQ(characters, word.text);
        EXPECT_EQ(box, word.box);
    }
    EXPECT_EQ(result.box, Rect(0, 0, result.words.back().box.maxX(), 20));
    EXPECT_EQ(result.confidence, 90);
}

TEST(TextAnalysis, CharacterBoxesFollowEachOther)
{
    // Line recognisers report rough boxes: one running far past its
    // neighbours, one starting before its predecessor.
    const std::vector<Glyph> glyphs{Glyph{QString::fromUtf8("格"), Rect(34, 0, 15, 20), true},
                                    Glyph{QString::fromUtf8("式"), Rect(50, 0, 74, 20), true},
                                    Glyph{QString::fromUtf8("可"), Rect(69, 0, 15, 20), true},
                                    Glyph{QString::fromUtf8("以"), Rect(60, 0, 20, 20), true}};
    const TextAnalysis::Line line
        = TextAnalysis::assembleLine(glyphs, 90, 20, [](double, double) { return 0.0; });
    ASSERT_EQ(line.words.size(), 1u);
    const auto& characters = line.words[0].characters;
    ASSERT_EQ(characters.size(), 4u);
    EXPECT_EQ(characters[0].box, Rect(34, 0, 15, 20));
    EXPECT_EQ(characters[1].box, Rect(50, 0, 19, 20));
    EXPECT_EQ(characters[2].box, Rect(69, 0, 0, 20));
    EXPECT_EQ(characters[3].box, Rect(69, 0, 11, 20));
    for (std::size_t i = 1; i < characters.size(); ++i)
        EXPECT_LE(characters[i - 1].box.maxX(), characters[i].box.minX());
}

TEST(TextAnalysis, EmptyGlyphsAreSkippedAndTextJoinsLines)
{
    Line line;
    line.add(QString(), true);
    line.add(QStringLiteral("A"), true);
    line.add(QString(), true);
    line.add(QStringLiteral("B"), false);
    EXPECT_EQ(line.assemble().text, QStringLiteral("AB"));

    TextAnalysis analysis;
    EXPECT_TRUE(analysis.isEmpty());
    EXPECT_EQ(analysis.text(), QString());
    analysis.lines = {line.assemble(), line.assemble()};
    EXPECT_EQ(analysis.text(), QStringLiteral("AB\nAB"));

    EXPECT_TRUE(TextAnalysis::isCjk(U'图'));
    EXPECT_TRUE(TextAnalysis::isCjk(U'。'));
    EXPECT_TRUE(TextAnalysis::isCjk(U'カ'));
    EXPECT_TRUE(TextAnalysis::isCjk(U'𠀀'));
    EXPECT_FALSE(TextAnalysis::isCjk(U'A'));
    EXPECT_FALSE(TextAnalysis::isCjk(U'é'));
}

} // namespace
