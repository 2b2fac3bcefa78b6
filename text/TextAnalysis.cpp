#include "text/TextAnalysis.h"

#include <QStringList>

#include <algorithm>

namespace kelpie {

namespace {

// Fractions of the line height. A typed space is about a quarter of the
// type size wide; CJK glyphs and Latin letters leave less than a tenth
// between them, radicals inside one Han character a little more. A blank
// of a third is a space whatever the recogniser says (the Chinese models
// often run Latin words together).
constexpr double cjkSpace = 0.2;
constexpr double plainSpace = 0.33;
// Han characters follow each other without spaces, but a blank of almost
// half a character between two of them separates columns of a table,
// buttons of a row or words a terminal user typed a space between.
constexpr double hanGap = 0.45;
// Digits share one advance, and a one is centred in it: a tenth of the
// type size more blank on either side than other characters leave.
constexpr double tabularOne = 0.1;

double tabularOneMargin(char32_t left, char32_t right)
{
    return (left == U'1' || right == U'1') ? tabularOne : 0.0;
}

char32_t firstCodePoint(const QString& text)
{
    const QList<uint> points = text.toUcs4();
    return points.isEmpty() ? 0 : points.front();
}

char32_t lastCodePoint(const QString& text)
{
    const QList<uint> points = text.toUcs4();
    return points.isEmpty() ? 0 : points.back();
}

bool isHanLike(char32_t c) { return TextAnalysis::isCjk(c); }

bool isDigit(char32_t c) { return c >= '0' && c <= '9'; }

// Full-width punctuation carries its own blank inside its cell, so the
// blank beside it is never a typed space.
bool isFullWidthPunctuation(char32_t c)
{
    return (c >= 0x3000 && c <= 0x303F) || (c >= 0xFF01 && c <= 0xFF0F)
        || (c >= 0xFF1A && c <= 0xFF20) || (c >= 0xFF3B && c <= 0xFF40)
        || (c >= 0xFF5B && c <= 0xFF65);
}

// The full-width form of an ASCII punctuation mark the Latin-trained models
// read in its place; 0 for any other text.
char32_t fullWidthOf(const QString& text)
{
    static const QString marks = QStringLiteral(":,;!?()");
    if (text.size() != 1 || !marks.contains(text.front()))
        return 0;
    return char32_t(text.front().unicode()) - 0x20 + 0xFF00;
}

// Chinese text uses full-width punctuation, which the recognisers often
// report as its ASCII look-alike. A closing mark (colon, comma, semicolon,
// exclamation or question mark, closing bracket) right after a Han character
// and followed by Han text, digits or the end of the line is taken as
// full-width, and so is an opening bracket right before a Han character.
// A mark between Han and Latin words ("错误: connection") stays as read:
// there a typed ASCII mark is as likely.
void restoreFullWidth(std::vector<TextAnalysis::Glyph>& glyphs)
{
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        const char32_t wide = fullWidthOf(glyphs[i].text);
        if (wide == 0)
            continue;
        const char32_t before = i > 0 ? lastCodePoint(glyphs[i - 1].text) : 0;
        const char32_t after = i + 1 < glyphs.size() ? firstCodePoint(glyphs[i + 1].text) : 0;
        const bool opening = wide == 0xFF08;
        const bool taken = opening
            ? isHanLike(after) && !isFullWidthPunctuation(after)
            : isHanLike(before) && (after == 0 || isHanLike(after) || isDigit(after));
        if (taken)
            glyphs[i].text = QString::fromUcs4(&wide, 1);
    }
}

} // namespace

QString TextAnalysis::text() const
{
    QStringList rows;
    for (const Line& line : lines)
        rows.append(line.text);
    return rows.join(QLatin1Char('\n'));
}

TextAnalysis::Line TextAnalysis::lineOf(std::vector<Word> words, double confidence)
{
    Line line;
    line.confidence = confidence;
    if (words.empty())
        return line;
    line.box = words.front().box;
    QStringList texts;
    for (const Word& word : words) {
        line.box = line.box.united(word.box);
        texts.append(word.text);
    }
    line.text = texts.join(QLatin1Char(' '));
    line.words = std::move(words);
    return line;
}

void TextAnalysis::retext(Line& line)
{
    for (Word& word : line.words) {
        word.text.clear();
        for (const Character& character : word.characters)
            word.text += character.text;
    }
    line = lineOf(std::move(line.words), line.confidence);
}

int TextAnalysis::reread(Line& line, const Reading& reading)
{
    int changed = 0;
    for (Word& word : line.words) {
        for (Character& character : word.characters) {
            QString text = reading(word, character);
            if (text != character.text) {
                character.text = std::move(text);
                ++changed;
            }
        }
    }
    if (changed > 0)
        retext(line);
    return changed;
}

bool TextAnalysis::isHan(char32_t c)
{
    return (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF)
        || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0x20000 && c <= 0x3FFFF);
}

bool TextAnalysis::isCjk(char32_t c)
{
    return (c >= 0x2E80 && c <= 0x2FDF)    // radicals
        || (c >= 0x3000 && c <= 0x303F)    // CJK symbols and punctuation
        || (c >= 0x3040 && c <= 0x30FF)    // kana
        || (c >= 0x3100 && c <= 0x31BF)    // bopomofo, Hangul compatibility jamo
        || (c >= 0x3400 && c <= 0x4DBF)    // extension A
        || (c >= 0x4E00 && c <= 0x9FFF)    // unified ideographs
        || (c >= 0xAC00 && c <= 0xD7AF)    // Hangul syllables
        || (c >= 0xF900 && c <= 0xFAFF)    // compatibility ideographs
        || (c >= 0xFE30 && c <= 0xFE4F)    // compatibility forms
        || (c >= 0xFF00 && c <= 0xFF60)    // full-width forms
        || (c >= 0x20000 && c <= 0x3FFFF); // supplementary ideographic planes
}

int TextAnalysis::dropGlyphs(std::vector<Glyph>& glyphs, std::vector<double>& confidences,
                             const std::function<bool(std::size_t)>& dropped)
{
    std::vector<Glyph> kept;
    std::vector<double> keptConfidences;
    bool startsWord = false;
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        if (dropped(i)) {
            startsWord = startsWord || glyphs[i].startsWord;
            continue;
        }
        kept.push_back(glyphs[i]);
        kept.back().startsWord = kept.back().startsWord || startsWord;
        startsWord = false;
        keptConfidences.push_back(confidences[i]);
    }
    const int count = int(glyphs.size() - kept.size());
    glyphs = std::move(kept);
    confidences = std::move(keptConfidences);
    return count;
}

TextAnalysis::Line TextAnalysis::assembleLine(const std::vector<Glyph>& glyphs, double confidence,
                                              double height, const BlankWidth& blankWidth)
{
    // Recognisers report approximate character boxes that may overlap or
    // run out of order; selection needs them to follow each other. Each box
    // starts no earlier than the one before and ends where the next starts.
    std::vector<Glyph> ordered;
    for (const Glyph& glyph : glyphs) {
        if (!glyph.text.isEmpty())
            ordered.push_back(glyph);
    }
    restoreFullWidth(ordered);
    for (std::size_t i = 0; i < ordered.size(); ++i) {
        Rect& box = ordered[i].box;
        box = box.standardized();
        if (i > 0 && box.minX() < ordered[i - 1].box.minX())
            box = Rect(ordered[i - 1].box.minX(), box.minY(),
                       std::max(0.0, box.maxX() - ordered[i - 1].box.minX()), box.height());
    }
    for (std::size_t i = 0; i + 1 < ordered.size(); ++i) {
        Rect& box = ordered[i].box;
        const double next = ordered[i + 1].box.minX();
        if (box.maxX() > next)
            box = Rect(box.minX(), box.minY(), next - box.minX(), box.height());
    }

    Line line;
    line.confidence = confidence;
    line.box = Rect::null();
    const Glyph* previous = nullptr;
    for (const Glyph& glyph : ordered) {
        bool space = false;
        if (previous) {
            const char32_t left = lastCodePoint(previous->text);
            const char32_t right = firstCodePoint(glyph.text);
            const bool leftCjk = isCjk(left);
            const bool rightCjk = isCjk(right);
            const bool punctuation = isFullWidthPunctuation(left) || isFullWidthPunctuation(right);
            if (!punctuation) {
                const double blank = blankWidth(previous->box.midX(), glyph.box.midX());
                if (leftCjk && rightCjk)
                    space = blank >= hanGap * height;
                else if (leftCjk || rightCjk)
                    space = blank - tabularOneMargin(left, right) * height >= cjkSpace * height;
                else
                    space = glyph.startsWord || blank >= plainSpace * height;
            }
        }
        if (!previous || space)
            line.words.push_back(Word{QString(), Rect::null(), {}});
        Word& word = line.words.back();
        word.characters.push_back(Character{glyph.text, glyph.box});
        word.text += glyph.text;
        word.box = word.box.united(glyph.box);
        line.box = line.box.united(glyph.box);
        previous = &glyph;
    }
    QStringList words;
    for (const Word& word : line.words)
        words.append(word.text);
    line.text = words.join(QLatin1Char(' '));
    return line;
}

} // namespace kelpie
