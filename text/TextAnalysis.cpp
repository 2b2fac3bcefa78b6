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

} // namespace

QString TextAnalysis::text() const
{
    QStringList rows;
    for (const Line& line : lines)
        rows.append(line.text);
    return rows.join(QLatin1Char('\n'));
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
            const bool leftCjk = isCjk(lastCodePoint(previous->text));
            const bool rightCjk = isCjk(firstCodePoint(glyph.text));
            if (!(leftCjk && rightCjk)) {
                const double blank = blankWidth(previous->box.midX(), glyph.box.midX());
                if (leftCjk || rightCjk)
                    space = blank >= cjkSpace * height;
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
