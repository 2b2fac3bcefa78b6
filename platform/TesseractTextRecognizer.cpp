#include "platform/TesseractTextRecognizer.h"

#include "platform/HanScriptCheck.h"
#include "platform/TextRecognizerModule.h"

#include "platform/TesseractEngine.h"
#include "text/CellVote.h"
#include "text/DottedZero.h"
#include "text/GapUnderscore.h"
#include "text/LetterCase.h"
#include "text/CheckBoxMarks.h"
#include "text/PhantomMarks.h"
#include "text/TerminalCells.h"
#include "text/TerminalEll.h"
#include "text/TextLayout.h"
#include "text/WordMemory.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHash>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <functional>
#include <list>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace kelpie {

namespace {

// Lines whose ink fills more of their height than the first figure, with
// at least the second share of it in the top of the line, look like Han
// text and go to the Chinese model first; the others go to the English
// model first (see TextLayout::inkSpan and TextLayout::inkAbove). Latin
// lines without descenders span about as much as Han ones; their
// x-height leaves the top of the line nearly empty.
constexpr double hanInkSpan = 0.65;
constexpr double hanInkAbove = 0.12;
// A line the English model reads with this mean confidence, and no word
// below the second figure, is taken as it is. The English model is about
// twice as fast as the Chinese ones and reads Latin text (spaces,
// punctuation) better, but it also reads a Chinese word as Latin garbage
// with fair confidence, hence the check on the weakest word.
constexpr double latinAcceptance = 70;
constexpr double latinWeakestWord = 50;
// Simplified and traditional Chinese cannot be told apart line by line:
// each model reads the other script's characters as its own with about the
// same confidence (the traditional one reads many a simplified line with
// more). So Chinese lines are read in the first Chinese language, and the
// second is tried only for a whole image most of whose Chinese lines the
// first reads poorly; it is taken when it reads them clearly better on
// average (the least sure lines decide whether the others are tried).
constexpr double secondScriptTrial = 80;
constexpr double secondScriptMargin = 12;
constexpr std::size_t secondScriptLines = 2;
// Characters surely traditional that make an image's other Han lines be
// checked for traditional forms less strictly.
constexpr int traditionalEvidence = 2;
// In such an image, Chinese lines the simplified model read with less
// confidence than this are read again with the traditional model.
constexpr double traditionalRereading = 70;
// Lines recognised with less confidence than this are pictures, icons or
// noise rather than text (clear screen text reads at 70 and more, noise in
// photographs at 55 and less) unless they read as letters, digits and
// Chinese characters; below the second figure they never are.
constexpr double minimumConfidence = 60;
constexpr double unsureConfidence = 35;
// A run of Latin glyphs in a Chinese line read again by the English model
// takes the English reading unless that is less sure by more than this.
// Runs the Chinese model reads with the second figure or more are kept as
// they are: its misreadings of digits and Latin words are unsure ones.
constexpr double runTolerance = 0;
constexpr double trustedRun = 90;
// The English reading of a line beats a Han reading when it is this much
// surer; a reading without Han characters by another model must be surer
// than the English one by the second figure.
constexpr double latinOverHan = 15;
// A Chinese reading in which fewer than this share of the glyphs are Han
// characters is checked against the English one.
constexpr double fewHan = 0.25;
constexpr double latinPreference = 10;
// A line read with less confidence than this is read again scaled to half
// as high again as the usual minimum, and the surer reading is kept: small
// type (bitmap terminal fonts, 11-pixel dialog text) that the first reading
// garbles often reads cleanly larger, while most lines read larger come out
// worse, so only unsure ones are tried.
constexpr double retryConfidence = 75;
// After an analysis, idle models are freed when less memory than this is
// available to the system.
constexpr qint64 lowMemoryBytes = 256LL * 1024 * 1024;

// Analyses whose words are remembered: a document's unmasked reading and
// the few before it, enough for the edits that follow it.
constexpr std::size_t rememberedAnalyses = 4;

qint64 availableMemory()
{
    // Files under /proc report no size, so read them whole, not by lines.
    QFile file(QStringLiteral("/proc/meminfo"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith("MemAvailable:")) {
            const QList<QByteArray> parts = line.simplified().split(' ');
            return parts.size() >= 2 ? parts[1].toLongLong() * 1024 : -1;
        }
    }
    return -1;
}

struct Models {
    QStringList names;        // what each engine loads, in this order
    int latin = -1;           // index of the English model
    std::vector<int> chinese; // simplified first, then traditional
    bool combined = false;
};

// Whether a reading is Han text by the first Chinese language: what the
// second one may read again.
bool hanByFirstChinese(const TesseractEngine::Result& result, const Models& models)
{
    return result.hasHan && !models.chinese.empty() && result.model == models.chinese.front();
}

Models modelsFor(const QStringList& languages, bool combined)
{
    Models models;
    QStringList names;
    for (const QString& language : languages) {
        const QString name = TesseractTextRecognizer::modelName(language);
        if (!name.isEmpty() && !names.contains(name))
            names.append(name);
    }
    if (combined) {
        if (!names.isEmpty())
            models.names = QStringList{names.join(QLatin1Char('+'))};
        models.combined = true;
        return models;
    }
    models.names = names;
    for (int i = 0; i < names.size(); ++i) {
        if (names[i] == QLatin1String("eng"))
            models.latin = i;
        else
            models.chinese.push_back(i);
    }
    return models;
}

// Whether a reading is Han characters only.
bool isHan(const QString& text)
{
    const QList<uint> characters = text.toUcs4();
    return !characters.isEmpty()
        && std::all_of(characters.begin(), characters.end(),
                       [](uint c) { return TextAnalysis::isHan(char32_t(c)); });
}

// What a terminal row's cells hold (see TerminalCells::cellInkOf), seen
// from a line image of the row. Empty for other lines and for rows whose
// wide characters are too few to tell.
struct RowCells {
    using CellInk = TerminalCells::CellInk;

    std::vector<CellInk> cells;
    TerminalCells::Lattice lattice;
    int first = 0; // the cell that cells[0] describes
    // The line image's place in the normalised image.
    QPoint origin;
    double scale = 1;

    // The cells of a terminal row, or none for other lines.
    static std::vector<CellInk> inkOf(const QImage& normalized, const TextLayout::Line& line)
    {
        if (!line.grid || !line.cells.isValid())
            return {};
        return TerminalCells::cellInkOf(normalized, line.box, line.cells);
    }

    static RowCells of(std::vector<CellInk> cells, const TextLayout::Line& line,
                       const TextLayout::LineImage& image)
    {
        return {std::move(cells), line.cells, line.cells.cellOf(line.box.left()), image.origin,
                image.scale};
    }

    bool isEmpty() const { return cells.empty(); }

    double imageX(double lineX) const { return origin.x() + lineX / scale; }
    double lineX(double imageX) const { return (imageX - origin.x()) * scale; }

    // Where the cell that holds `x` of the line image ends, in the line
    // image's pixels.
    double cellEnd(double x) const
    {
        return lineX(lattice.origin + (lattice.cellOf(imageX(x)) + 1) * double(lattice.width));
    }

    CellInk at(double lineX) const
    {
        const int k = lattice.cellOf(imageX(lineX)) - first;
        return k < 0 || k >= int(cells.size()) ? CellInk::blank : cells[std::size_t(k)];
    }

    // Whether the cells that a glyph box of the line image takes in, by a
    // third of a cell at least, hold narrow characters and nothing that
    // may be wide. A recogniser's boxes lie up to half a cell off their ink.
    bool onlyNarrow(const Rect& box) const
    {
        const double from = imageX(box.minX());
        const double to = imageX(box.maxX());
        bool narrow = false;
        for (int k = lattice.cellOf(from); k <= lattice.cellOf(to); ++k) {
            const double left = lattice.origin + k * lattice.width;
            const double overlap = std::min(to, left + lattice.width) - std::max(from, left);
            const int at = k - first;
            if (overlap * 3 < lattice.width || at < 0 || at >= int(cells.size()))
                continue;
            const CellInk ink = cells[std::size_t(at)];
            if (ink != CellInk::narrow && ink != CellInk::blank)
                return false;
            narrow = narrow || ink == CellInk::narrow;
        }
        return narrow;
    }
};

struct Recognized {
    TesseractEngine::Result result;
    TextLayout::LineImage image;
    RowCells cells;        // what the image's terminal cells hold, if any
    QByteArray key;        // the line's digest in the line memory
    int minimumHeight = 0; // the height its image was scaled to
    // The second Chinese language's reading, once it was tried on the line.
    std::optional<TesseractEngine::Result> secondScript;
};

QString joined(const TesseractEngine::Result& result)
{
    QString text;
    for (const TextAnalysis::Glyph& glyph : result.glyphs)
        text += glyph.text;
    return text;
}

bool hasCjk(const QString& text)
{
    for (const uint c : text.toUcs4()) {
        if (TextAnalysis::isCjk(c))
            return true;
    }
    return false;
}

bool hasLetterOrDigit(const QString& text)
{
    for (const QChar c : text) {
        if (c.isLetterOrNumber())
            return true;
    }
    return false;
}

// Of two readings of a line without Han characters, the more confident,
// the English one unless the other is clearly surer (the Chinese models
// read Latin text with spaces inside words and letters mixed up);
// where both read the same characters, the English model's word breaks
// with the better of the two confidences (agreement is itself evidence).
TesseractEngine::Result better(TesseractEngine::Result latin, TesseractEngine::Result other)
{
    if (joined(latin) == joined(other)) {
        latin.confidence = std::max(latin.confidence, other.confidence);
        return latin;
    }
    return latin.confidence + latinPreference >= other.confidence ? latin : other;
}

// Whether two readings differ at most in characters that look alike in
// most screen fonts (one, ell, capital i, bar; zero and capital o).
bool sameBarLookAlikes(const QString& a, const QString& b)
{
    const auto folded = [](QString text) {
        for (QChar& c : text) {
            if (c == QLatin1Char('l') || c == QLatin1Char('I') || c == QLatin1Char('|'))
                c = QLatin1Char('1');
            else if (c == QLatin1Char('O'))
                c = QLatin1Char('0');
        }
        return text;
    };
    return folded(a) == folded(b);
}

// The column between `from` and `to` of a line image nearest to `near`
// that holds no ink; `near` itself when there is none.
int blankColumnNear(const QImage& line, int from, int to, int near)
{
    from = std::max(0, from);
    to = std::min(line.width() - 1, to);
    int best = -1;
    for (int x = from; x <= to; ++x) {
        bool blank = true;
        for (int y = 0; y < line.height() && blank; ++y)
            blank = line.constScanLine(y)[x] >= TextLayout::inkThreshold;
        if (blank && (best < 0 || std::abs(x - near) < std::abs(best - near)))
            best = x;
    }
    return best < 0 ? near : best;
}

// Columns [from, to) of a line image with a blank margin on either side.
QImage columns(const QImage& line, int from, int to, int margin)
{
    QImage crop(to - from + 2 * margin, line.height(), QImage::Format_Grayscale8);
    if (crop.isNull())
        return {};
    crop.fill(255);
    for (int y = 0; y < line.height(); ++y)
        std::memcpy(crop.scanLine(y) + margin, line.constScanLine(y) + from,
                    std::size_t(to - from));
    return crop;
}

// A dot, a stroke or another ASCII mark that stands alone at the start of
// a word. Brackets, braces and quotes are not among them: the Chinese model
// reads them in a Latin run's margin where there are none.
bool isAsciiMark(const QString& text)
{
    return text.size() == 1 && QStringLiteral("./\\-_#~*+=&@%$:;,!?").contains(text[0]);
}

// The Chinese models read digits and Latin words inside a Chinese line
// poorly ("2024" as "2924", "alice" as "atice"). Each run of such glyphs
// between the Han characters of a Chinese reading is read again on its own
// with the English model, and that reading replaces the run unless it is
// less sure. On a terminal's cells a Han character whose cells hold only
// narrow ink is part of such a run: it stands for narrow characters ("¥1"
// read as "涪", "#" and the blank after it as "大").
TesseractEngine::Result withLatinRuns(TesseractEngine& engine, int latinModel, const QImage& line,
                                      TesseractEngine::Result han,
                                      const RecognitionCancellation& cancellation,
                                      const RowCells& row = {})
{
    const std::vector<TextAnalysis::Glyph>& glyphs = han.glyphs;
    const auto latinLike = [&row](const TextAnalysis::Glyph& glyph) {
        return !hasCjk(glyph.text)
            || (isHan(glyph.text) && !row.isEmpty() && row.onlyNarrow(glyph.box));
    };
    std::vector<TextAnalysis::Glyph> merged;
    std::vector<double> confidences;
    const int pad = std::max(3, line.height() / 5);
    const int margin = std::max(4, line.height() / 2);
    std::size_t i = 0;
    while (i < glyphs.size()) {
        std::size_t j = i;
        while (j < glyphs.size() && latinLike(glyphs[j]))
            ++j;
        if (j == i) {
            merged.push_back(glyphs[i]);
            confidences.push_back(han.wordConfidences[i]);
            ++i;
            continue;
        }
        bool letters = false;
        double left = glyphs[i].box.minX();
        double right = glyphs[i].box.maxX();
        double runConfidence = 0;
        for (std::size_t k = i; k < j; ++k) {
            letters = letters || hasLetterOrDigit(glyphs[k].text);
            left = std::min(left, glyphs[k].box.minX());
            right = std::max(right, glyphs[k].box.maxX());
            runConfidence += han.wordConfidences[k];
        }
        runConfidence /= double(j - i);
        // The character boxes of a line recogniser are approximate: the run
        // is cut out at the blank column nearest to the middle of the gap
        // between it and its Han neighbours.
        int from = int(std::floor(left - pad));
        int to = int(std::ceil(right + pad));
        if (i > 0) {
            const Rect& neighbour = glyphs[i - 1].box;
            from = blankColumnNear(line, int(neighbour.midX()), int(std::ceil(left)) + pad,
                                   int(std::lround((neighbour.maxX() + left) / 2)));
        }
        if (j < glyphs.size()) {
            const Rect& neighbour = glyphs[j].box;
            to = blankColumnNear(line, int(std::floor(right)) - pad, int(neighbour.midX()),
                                 int(std::lround((right + neighbour.minX()) / 2)))
                + 1;
        }
        from = std::clamp(from, 0, line.width());
        to = std::clamp(to, from, line.width());
        TesseractEngine::Result latin;
        if (letters && to - from >= 2 && runConfidence < trustedRun) {
            latin = engine.recognize(columns(line, from, to, margin), latinModel, cancellation);
            // A cut that takes in part of a Han neighbour reads it as
            // Latin junk at the run's end ("~/X#" before "文档"): such a
            // run is cut again where the first glyph over the neighbour
            // starts, or the last one before it ends.
            const auto lineX = [&](double x) { return x - margin + from; };
            int cutFrom = from;
            int cutTo = to;
            // On a terminal's cells, a glyph over part of a wide character
            // is over the neighbour wherever the neighbour's box lies.
            const double runMiddle = (from + to) / 2.0;
            double lastBefore = -1;
            for (const TextAnalysis::Glyph& glyph : latin.glyphs) {
                const double middle = lineX(glyph.box.midX());
                const bool overWide = !row.isEmpty() && row.at(middle) == RowCells::CellInk::wide;
                if (j < glyphs.size()
                    && (middle > glyphs[j].box.minX() || (overWide && middle > runMiddle))
                    && cutTo == to)
                    cutTo = int(std::floor(lineX(glyph.box.minX())));
                if (cutTo == to)
                    lastBefore = middle;
                if (i > 0 && (middle < glyphs[i - 1].box.maxX() || (overWide && middle < runMiddle)))
                    cutFrom = int(std::ceil(lineX(glyph.box.maxX())));
            }
            // On a terminal's cells, what lies after the cell of the run's
            // last glyph and before the first glyph over the neighbour is
            // the neighbour's: the English model passed over it, and read
            // again alone it comes out as Latin junk ("2024年" as "20244|").
            if (cutTo != to && lastBefore >= 0 && !row.isEmpty())
                cutTo = std::min(cutTo, int(std::ceil(row.cellEnd(lastBefore))));
            cutFrom = std::clamp(cutFrom, from, to);
            cutTo = std::clamp(cutTo, cutFrom, to);
            if ((cutFrom != from || cutTo != to) && cutTo - cutFrom >= 2) {
                from = cutFrom;
                to = cutTo;
                latin = engine.recognize(columns(line, from, to, margin), latinModel, cancellation);
            }
        }
        QString runText;
        for (std::size_t k = i; k < j; ++k)
            runText += glyphs[k].text;
        // Where the two differ only in look-alikes ("F1" and "Fl"), the
        // Chinese model saw the run in its line and the English model
        // alone; its context decides.
        const bool take = !latin.glyphs.empty() && latin.confidence >= runConfidence - runTolerance
            && !sameBarLookAlikes(runText, joined(latin));
        if (take) {
            // Cut out on its own, a run that starts with a mark (".docx"
            // after a Han file name, "/ undo" after a Han word) loses it: the
            // English model drops a lone dot or stroke at the start of a line
            // as a speck.
            for (std::size_t k = i; k < j && isAsciiMark(glyphs[k].text); ++k) {
                if (joined(latin).startsWith(glyphs[k].text))
                    break;
                merged.push_back(glyphs[k]);
                confidences.push_back(han.wordConfidences[k]);
                // A word starts after the mark where the Chinese reading
                // started one, or where the image shows a blank.
                latin.glyphs.front().startsWord = k + 1 < j && glyphs[k + 1].startsWord;
            }
            for (std::size_t k = 0; k < latin.glyphs.size(); ++k) {
                TextAnalysis::Glyph glyph = latin.glyphs[k];
                glyph.box = Rect(glyph.box.minX() - margin + from, glyph.box.minY(),
                                 glyph.box.width(), glyph.box.height());
                merged.push_back(std::move(glyph));
                confidences.push_back(latin.wordConfidences[k]);
            }
        } else {
            for (std::size_t k = i; k < j; ++k) {
                merged.push_back(glyphs[k]);
                confidences.push_back(han.wordConfidences[k]);
            }
        }
        i = j;
    }
    han.glyphs = std::move(merged);
    han.wordConfidences = std::move(confidences);
    return han;
}

// A Chinese reading without the marks the model saw in wide blanks (see
// PhantomMarks).
TesseractEngine::Result withoutPhantomMarks(const QImage& line, TesseractEngine::Result result)
{
    PhantomMarks::drop(line, result.glyphs, result.wordConfidences);
    CheckBoxMarks::drop(line, result.glyphs, result.wordConfidences);
    return result;
}

// The share of a reading's glyphs that are Han characters or other CJK
// text.
double hanShare(const TesseractEngine::Result& result)
{
    if (result.glyphs.empty())
        return 0;
    std::size_t han = 0;
    for (const TextAnalysis::Glyph& glyph : result.glyphs)
        han += hasCjk(glyph.text);
    return double(han) / double(result.glyphs.size());
}

// What the layout tells of a line's script before it is read.
enum class Script {
    looksLatin, // ink mostly between the baseline and the x-height
    looksHan,   // ink filling the line's height, as Han characters do
    latinOnly,  // a terminal row of narrow characters only: no Han there
};

// What the layout tells of a line's script. A terminal draws a Han
// character over two of its cells and a Latin one in one: a row whose ink
// keeps to single cells holds no Han, and one whose ink spans two cells
// holds wide characters (or frames and underlines, which read the same in
// either model) and goes to the Chinese model first, sparing an English
// reading that cannot be kept.
Script scriptOf(const TextLayout::Line& line, const QImage& normalized)
{
    if (line.narrow)
        return Script::latinOnly;
    const bool narrowCells = line.cells.isValid() && 10 * line.cells.width <= 9 * line.box.height();
    if (narrowCells
        || (TextLayout::inkSpan(normalized, line.box) > hanInkSpan
            && TextLayout::inkAbove(normalized, line.box) >= hanInkAbove))
        return Script::looksHan;
    return Script::looksLatin;
}

// Where another reading of a line has the same characters, its Han
// characters that differ, glyph by glyph of `kept` (none where the two do
// not line up character for character).
std::vector<QStringList> otherHanReadings(const TesseractEngine::Result& kept,
                                          const TesseractEngine::Result& other)
{
    const auto marks = [](const TesseractEngine::Result& result) {
        std::vector<std::size_t> indices;
        for (std::size_t i = 0; i < result.glyphs.size(); ++i) {
            if (!result.glyphs[i].text.trimmed().isEmpty())
                indices.push_back(i);
        }
        return indices;
    };
    const std::vector<std::size_t> ours = marks(kept);
    const std::vector<std::size_t> theirs = marks(other);
    if (ours.size() != theirs.size())
        return {};
    std::vector<QStringList> alternatives(kept.glyphs.size());
    for (std::size_t k = 0; k < ours.size(); ++k) {
        const QString& read = kept.glyphs[ours[k]].text;
        const QString& otherRead = other.glyphs[theirs[k]].text;
        if (read != otherRead && isHan(read) && isHan(otherRead))
            alternatives[ours[k]] = {otherRead};
    }
    return alternatives;
}

// Recognises one line with the model that suits it (see the constants
// above); of the Chinese languages the caller's first.
TesseractEngine::Result readLine(TesseractEngine& engine, const Models& models,
                                      const QImage& line, Script script,
                                      const RecognitionCancellation& cancellation,
                                      const RowCells& row)
{
    if (models.combined)
        return engine.recognize(line, 0, cancellation);
    const auto latin = [&] { return engine.recognize(line, models.latin, cancellation); };
    const auto chinese = [&] { return engine.recognize(line, models.chinese[0], cancellation); };
    if (models.latin < 0)
        return chinese();
    if (models.chinese.empty())
        return latin();
    const bool looksHan = script == Script::looksHan;

    // Where no Han character can be, the Chinese models have nothing to
    // add: they read Latin text worse than the English one, unsure or not,
    // and cost several times as much.
    if (script == Script::latinOnly)
        return latin();
    std::optional<TesseractEngine::Result> other;
    if (!looksHan) {
        other = latin();
        if (other->confidence >= latinAcceptance && other->weakestWord >= latinWeakestWord)
            return *other;
    }
    TesseractEngine::Result han = withoutPhantomMarks(line, chinese());
    if (!han.hasHan)
        return better(other ? std::move(*other) : latin(), std::move(han));
    // A Han reading where the English model is far surer of its own is a
    // misreading (a lone "-C" read as "下").
    if (other && other->confidence >= han.confidence + latinOverHan
        && other->weakestWord >= latinWeakestWord - latinOverHan)
        return *other;
    // Rows of digits and capitals fill their height like Han text and reach
    // the Chinese model first, which reads a few of their letters as Han
    // characters ("alice" as "引ice"). Where Han characters are few among
    // the glyphs, the English reading is taken when it is clear and surer.
    if (!other && hanShare(han) < fewHan) {
        other = latin();
        if (other->confidence >= latinAcceptance
            && other->confidence >= han.confidence + latinPreference)
            return *other;
    }
    han = withLatinRuns(engine, models.latin, line, std::move(han), cancellation, row);
    // The simplified model reads traditional characters as their simplified
    // forms; where traditional Chinese is a language, the picture decides.
    if (models.chinese.size() > 1)
        han.traditionalFound = HanScriptCheck::instance().apply(han.glyphs, line).changed;
    return han;
}

// A line's reading without the marks of a check box, whichever model read
// it.
TesseractEngine::Result recognizeLine(TesseractEngine& engine, const Models& models,
                                      const QImage& line, Script script,
                                      const RecognitionCancellation& cancellation,
                                      const RowCells& row)
{
    TesseractEngine::Result result = readLine(engine, models, line, script, cancellation, row);
    CheckBoxMarks::drop(line, result.glyphs, result.wordConfidences);
    return result;
}

// Whether a reading is text rather than the recogniser's guess at a
// picture, an icon or noise: sure readings with a letter, a digit or a CJK
// character are, unsure ones only when they are mostly such characters.
bool plausible(const TesseractEngine::Result& result)
{
    // Marks alone (a text cursor, the edge of a field, a rule) are read
    // with full confidence as "|" or "-", but they are no text to select.
    if (!hasLetterOrDigit(joined(result)))
        return false;
    // Runs read again by the English model carry its surer confidence: a
    // prompt the Chinese model garbled is no less text once its Latin run
    // reads clearly.
    double glyphMean = 0;
    for (const double confidence : result.wordConfidences)
        glyphMean += confidence / double(result.wordConfidences.size());
    if (std::max(result.confidence, glyphMean) >= minimumConfidence)
        return true;
    if (result.confidence < unsureConfidence)
        return false;
    int letters = 0;
    int all = 0;
    for (const TextAnalysis::Glyph& glyph : result.glyphs) {
        for (const QChar c : glyph.text) {
            ++all;
            letters += c.isLetterOrNumber() || TextAnalysis::isCjk(c.unicode());
        }
    }
    return all >= 2 && 10 * letters >= 7 * all;
}

// A terminal draws a Chinese character in two cells, narrower than both:
// the blank it leaves beside itself, up to this share of the line's height,
// is part of its cell, not a space.
constexpr double cellBlank = 0.25;

TextAnalysis::Line toLine(const Recognized& recognized, const TextLayout::Line& found,
                          const QImage& normalized, bool* fittedToCells)
{
    const QRect& box = found.box;
    // Only a terminal's cells leave such blank; the rows of a list or a
    // table in proportional type are a grid too, but their blanks are
    // spaces.
    const bool inCells = found.grid && found.cells.isValid();
    const TextLayout::LineImage& image = recognized.image;
    const auto toImageX = [&image](double x) { return image.origin.x() + x / image.scale; };
    const auto toImageY = [&image](double y) { return image.origin.y() + y / image.scale; };

    std::vector<TextAnalysis::Glyph> glyphs = recognized.result.glyphs;
    for (TextAnalysis::Glyph& glyph : glyphs) {
        // Character boxes from the line recogniser are approximate; keep
        // them inside the line.
        const double left
            = std::clamp(toImageX(glyph.box.minX()), double(box.left()), double(box.right() + 1));
        const double right = std::clamp(toImageX(glyph.box.maxX()), left, double(box.right() + 1));
        const double top
            = std::clamp(toImageY(glyph.box.minY()), double(box.top()), double(box.bottom() + 1));
        const double bottom = std::clamp(toImageY(glyph.box.maxY()), top, double(box.bottom() + 1));
        glyph.box = Rect(left, top, right - left, bottom - top);
    }
    const int top = int(std::lround((box.top() - image.origin.y()) * image.scale));
    const int bottom = int(std::lround((box.bottom() + 1 - image.origin.y()) * image.scale));
    const auto blank = [&](double fromX, double toX) {
        const int from = int(std::lround((fromX - image.origin.x()) * image.scale));
        const int to = int(std::lround((toX - image.origin.x()) * image.scale));
        const double width
            = TextLayout::blankWidth(image.image, top, bottom, from, to) / image.scale;
        return inCells ? std::max(0.0, width - cellBlank * box.height()) : width;
    };
    // On a terminal's lattice the cells say where characters and spaces
    // are, and what the small marks are.
    if (const auto fitted = TerminalCells::fit(normalized, box, found.cells, glyphs)) {
        *fittedToCells = true;
        const TerminalCells::Lattice& cells = found.cells;
        const auto blankCells = [&cells](double fromX, double toX) {
            return double(std::max(0, cells.cellOf(toX) - cells.cellOf(fromX) - 1) * cells.width);
        };
        return TextAnalysis::assembleLine(*fitted, recognized.result.confidence, box.height(),
                                          blankCells);
    }
    // Between a terminal's cells the recogniser's own word breaks are
    // guesses (a full stop alone in the middle of its cell is "README .md"
    // to it); the blanks decide.
    if (inCells) {
        for (TextAnalysis::Glyph& glyph : glyphs)
            glyph.startsWord = false;
    }
    const std::vector<TerminalCells::CellInk>& ink = recognized.cells.cells;
    if (!inCells || ink.empty())
        return TextAnalysis::assembleLine(glyphs, recognized.result.confidence, box.height(), blank);
    // Narrow characters between wide ones take their cells where that is
    // certain, so that CellVote can compare them.
    TerminalCells::placeNarrowRuns(glyphs, ink, box, found.cells);
    // Where the cells are known, a space is a blank cell between two
    // characters, whatever blank a wide character or a full stop in the
    // middle of its cell leaves beside its ink. A recogniser's box lies less
    // than half a cell off its character, so the middles of two boxes
    // have between them exactly the blank cells between the characters.
    const TerminalCells::Lattice& lattice = found.cells;
    const int first = lattice.cellOf(box.left());
    const auto blankCells = [&](double fromX, double toX) {
        int count = 0;
        for (int k = lattice.cellOf(fromX); k <= lattice.cellOf(toX); ++k) {
            const double middle = lattice.origin + (k + 0.5) * lattice.width;
            const int at = k - first;
            count += middle > fromX && middle < toX && at >= 0 && at < int(ink.size())
                && ink[std::size_t(at)] == TerminalCells::CellInk::blank;
        }
        return double(count * lattice.width);
    };
    return TextAnalysis::assembleLine(glyphs, recognized.result.confidence, box.height(),
                                      blankCells);
}

// A line made ready for recognition from whichever view shows its ink
// more strongly: luminance for most text, the brightest channel for
// coloured text on a dark panel.
TextLayout::LineImage lineImageOf(const TextLayout::Views& views, const QRect& box,
                                  int minimumHeight)
{
    TextLayout::LineImage line = TextLayout::lineImage(views.grey, box, minimumHeight);
    if (views.brightest.isNull())
        return line;
    TextLayout::LineImage coloured = TextLayout::lineImage(views.brightest, box, minimumHeight);
    if (!coloured.image.isNull()
        && TextLayout::darkness(coloured.image) > TextLayout::darkness(line.image))
        return coloured;
    return line;
}

} // namespace

// Lines already read, by a digest of their prepared image. Recognition runs
// again after every edit of a document, and most lines of a screenshot do
// not change between edits; their pixels do not, so neither does their
// reading. Least recently used lines are forgotten first.
class LineMemory {
public:
    // A line's reading and the height its image was scaled to for it.
    struct Reading {
        TesseractEngine::Result result;
        int minimumHeight = 0;
    };

    explicit LineMemory(std::size_t limit) : capacity(limit) { }

    // A digest of the line's pixels, size and script guess; two different
    // lines do not share one.
    static QByteArray keyOf(const QImage& line, Script script)
    {
        QCryptographicHash hash(QCryptographicHash::Sha256);
        hash.addData(
            QByteArrayView(reinterpret_cast<const char*>(line.constBits()), line.sizeInBytes()));
        hash.addData(QByteArray::number(line.width()) + 'x' + QByteArray::number(line.height())
                     + char('0' + int(script)));
        return hash.result();
    }

    std::optional<Reading> find(const QByteArray& key)
    {
        std::lock_guard lock(mutex);
        const auto found = index.find(key);
        if (found == index.end())
            return std::nullopt;
        order.splice(order.begin(), order, found.value());
        return found.value()->second;
    }

    // Keeps a line's reading, replacing what was known of it.
    void remember(const QByteArray& key, const Reading& reading)
    {
        if (capacity == 0)
            return;
        std::lock_guard lock(mutex);
        if (const auto known = index.find(key); known != index.end()) {
            order.erase(known.value());
            index.erase(known);
        }
        order.emplace_front(key, reading);
        index.insert(key, order.begin());
        if (order.size() > capacity) {
            index.remove(order.back().first);
            order.pop_back();
        }
    }

    void clear()
    {
        std::lock_guard lock(mutex);
        index.clear();
        order.clear();
    }

private:
    using Entry = std::pair<QByteArray, Reading>;
    std::size_t capacity;
    std::mutex mutex;
    std::list<Entry> order;
    QHash<QByteArray, std::list<Entry>::iterator> index;
};

namespace {

// The readings the recogniser weighed for characters of terminal rows. A
// character's word is read again alone, with its choices, when one of its
// characters is first asked about: few are, and listing the choices of
// every reading would cost a fifth of all reading.
class WordChoices {
public:
    using Read = std::function<TesseractEngine::Result(const QImage& word)>;
    explicit WordChoices(Read read) : m_read(std::move(read)) {}

    // The choices for `character` of the row at `row`, whose line and line
    // image these are.
    std::vector<TextAnalysis::Choice> of(std::size_t row, const TextAnalysis::Line& line,
                                         const TextLayout::LineImage& image,
                                         const TextAnalysis::Character& character)
    {
        const double middle = character.box.midX();
        const auto word = std::find_if(line.words.begin(), line.words.end(), [&](const auto& w) {
            return w.box.minX() <= middle && middle <= w.box.maxX();
        });
        if (word == line.words.end())
            return {};
        const auto lineX = [&image](double x) { return (x - image.origin.x()) * image.scale; };
        auto [found, fresh]
            = m_words.try_emplace(std::pair{row, std::size_t(word - line.words.begin())});
        if (fresh) {
            const int margin = image.image.height() / 2;
            const int from
                = std::clamp(int(std::floor(lineX(word->box.minX()))), 0, image.image.width());
            const int to
                = std::clamp(int(std::ceil(lineX(word->box.maxX()))), from, image.image.width());
            found->second = {m_read(columns(image.image, from, to, margin)), double(from - margin)};
        }
        const Reread& reread = found->second;
        return choicesOver(reread.result, lineX(character.box.minX()) - reread.offset,
                           lineX(character.box.maxX()) - reread.offset);
    }

private:
    struct Reread {
        TesseractEngine::Result result;
        double offset = 0; // where the word's crop starts on its line image
    };

    // The choices of the glyph that overlaps [left, right] most.
    static std::vector<TextAnalysis::Choice> choicesOver(const TesseractEngine::Result& result,
                                                         double left, double right)
    {
        double widest = 0;
        std::vector<TextAnalysis::Choice> choices;
        for (std::size_t g = 0; g < result.glyphs.size() && g < result.choices.size(); ++g) {
            const double overlap = std::min(right, result.glyphs[g].box.maxX())
                - std::max(left, result.glyphs[g].box.minX());
            if (overlap > widest) {
                widest = overlap;
                choices = result.choices[g];
            }
        }
        return choices;
    }

    Read m_read;
    std::map<std::pair<std::size_t, std::size_t>, Reread> m_words; // by row and word
};

} // namespace

struct TesseractTextRecognizer::Pool {
    Models models;
    Options options;
    int workers = 1;
    std::unique_ptr<LineMemory> memory;
    std::unique_ptr<WordMemory> words;

    std::mutex mutex;
    std::condition_variable released;
    std::vector<std::unique_ptr<TesseractEngine>> idle;
    int loaded = 0;

    // An engine for the caller: an idle one, a new one while fewer than
    // `limit` exist, else (when waiting) the next one released. Empty when
    // not waiting and none is to be had.
    std::unique_ptr<TesseractEngine> acquire(int limit, bool wait)
    {
        std::unique_lock lock(mutex);
        for (;;) {
            if (!idle.empty()) {
                auto engine = std::move(idle.back());
                idle.pop_back();
                return engine;
            }
            if (loaded < limit) {
                ++loaded;
                lock.unlock();
                try {
                    return std::make_unique<TesseractEngine>(models.names);
                } catch (...) {
                    lock.lock();
                    --loaded;
                    released.notify_all();
                    throw;
                }
            }
            if (!wait)
                return nullptr;
            released.wait(lock);
        }
    }

    void release(std::unique_ptr<TesseractEngine> engine)
    {
        if (!engine)
            return;
        std::lock_guard lock(mutex);
        // Sets made while analyses overlapped are not kept.
        if (loaded > workers) {
            --loaded;
        } else {
            idle.push_back(std::move(engine));
        }
        released.notify_all();
    }

    // Runs task(engine, i) for every i below count on all workers at once:
    // the calling thread and up to workers - 1 helpers, each with its own
    // engine. The first failure (cancellation included) stops the others
    // and is rethrown. A worker without a set loads its own models as its
    // lines need them: a model loads in a few tens of milliseconds, less
    // than the workers would lose taking turns at one shared set.
    void runAll(std::size_t count, const std::function<void(TesseractEngine&, std::size_t)>& task)
    {
        std::atomic<std::size_t> next{0};
        std::mutex failureMutex;
        std::exception_ptr failure;
        const auto work = [&](TesseractEngine& engine) {
            TesseractEngine::limitThreads();
            try {
                for (std::size_t i = next++; i < count; i = next++)
                    task(engine, i);
            } catch (...) {
                std::lock_guard lock(failureMutex);
                if (!failure)
                    failure = std::current_exception();
                next = count;
            }
        };

        std::unique_ptr<TesseractEngine> own = acquire(workers, true);
        std::vector<std::unique_ptr<TesseractEngine>> helperEngines(std::size_t(workers - 1));
        std::vector<std::thread> helpers;
        for (std::size_t h = 0; h < helperEngines.size() && h + 1 < count; ++h) {
            helpers.emplace_back([&, h] {
                try {
                    helperEngines[h] = acquire(workers, false);
                } catch (...) {
                    // The other workers do the lines without this one.
                }
                if (helperEngines[h])
                    work(*helperEngines[h]);
            });
        }
        work(*own);
        for (std::thread& helper : helpers)
            helper.join();
        release(std::move(own));
        for (auto& engine : helperEngines)
            release(std::move(engine));
        if (failure)
            std::rethrow_exception(failure);
    }

    // Tries the second Chinese language on the Chinese lines of an image when
    // the first reads them poorly (see secondScriptTrial), and takes its
    // readings when they are clearly better on average. The least sure lines
    // are tried first: when the second language does not read them clearly
    // better, it reads the others no better either, and they are not tried.
    // Each step reads its lines on all workers, each loading the second
    // language as it first needs it.
    void trySecondScript(std::vector<std::optional<Recognized>>& results,
                         const RecognitionCancellation& cancellation)
    {
        if (models.chinese.size() < 2)
            return;
        std::vector<std::size_t> han;
        std::size_t unsure = 0;
        for (std::size_t i = 0; i < results.size(); ++i) {
            if (results[i] && hanByFirstChinese(results[i]->result, models)) {
                han.push_back(i);
                unsure += results[i]->result.confidence < secondScriptTrial;
            }
        }
        // Most lines, not the mean: one misread picture or heading among
        // clear lines says nothing of the script.
        if (han.size() < secondScriptLines || 2 * unsure <= han.size())
            return;
        std::stable_sort(han.begin(), han.end(), [&results](std::size_t a, std::size_t b) {
            return results[a]->result.confidence < results[b]->result.confidence;
        });
        std::vector<TesseractEngine::Result> second(han.size());
        const auto read = [&](std::size_t from, std::size_t to) {
            runAll(to - from, [&](TesseractEngine& engine, std::size_t i) {
                cancellation.throwIfCancelled();
                Recognized& line = *results[han[from + i]];
                second[from + i] = withoutPhantomMarks(
                    line.image.image,
                    engine.recognize(line.image.image, models.chinese[1], cancellation));
                line.secondScript = second[from + i];
            });
        };
        const auto clearlyBetter = [&](std::size_t count) {
            double firstSum = 0;
            double secondSum = 0;
            for (std::size_t i = 0; i < count; ++i) {
                firstSum += results[han[i]]->result.confidence;
                secondSum += second[i].confidence;
            }
            return secondSum >= firstSum + secondScriptMargin * double(count);
        };
        read(0, secondScriptLines);
        if (!clearlyBetter(secondScriptLines))
            return;
        read(secondScriptLines, han.size());
        if (!clearlyBetter(han.size()))
            return;
        runAll(han.size(), [&](TesseractEngine& engine, std::size_t i) {
            Recognized& line = *results[han[i]];
            if (second[i].hasHan && models.latin >= 0)
                second[i] = withLatinRuns(engine, models.latin, line.image.image,
                                          std::move(second[i]), cancellation, line.cells);
            line.result = std::move(second[i]);
            // The script is a matter of the whole image: the same line seen
            // again alone (the rest of the image masked or cropped away)
            // keeps it.
            memory->remember(line.key, {line.result, line.minimumHeight});
        });
    }

    // An engine of the workers' for the caller, taken when first needed
    // and given back at the end of the pass.
    class LatinEngine {
    public:
        explicit LatinEngine(Pool& pool) : owner(pool) {}
        ~LatinEngine() { owner.release(std::move(taken)); }
        LatinEngine(const LatinEngine&) = delete;
        LatinEngine& operator=(const LatinEngine&) = delete;
        TesseractEngine& engine()
        {
            if (!taken)
                taken = owner.acquire(owner.workers, true);
            return *taken;
        }

    private:
        Pool& owner;
        std::unique_ptr<TesseractEngine> taken;
    };

    // Where some characters of an image were surely traditional, the image
    // holds traditional text. Its Chinese lines that the simplified model
    // read poorly are read again with the traditional one, whose reading is
    // taken when it is surer and has each character given back the
    // simplified form where the picture clearly shows that (the traditional
    // model reads simplified lines of a mixed screen as traditional, and
    // with more confidence). The other lines are checked for traditional
    // forms with the leaning thresholds. The lines are shared out among the
    // workers.
    void leanTraditional(std::vector<std::optional<Recognized>>& results,
                         const RecognitionCancellation& cancellation)
    {
        if (models.chinese.size() < 2)
            return;
        int found = 0;
        for (const std::optional<Recognized>& line : results)
            found += line ? line->result.traditionalFound : 0;
        if (found < traditionalEvidence)
            return;
        const HanScriptCheck& check = HanScriptCheck::instance();
        runAll(results.size(), [&](TesseractEngine& engine, std::size_t i) {
            std::optional<Recognized>& line = results[i];
            if (!line || !hanByFirstChinese(line->result, models))
                return;
            cancellation.throwIfCancelled();
            const QImage& image = line->image.image;
            bool changed = false;
            if (line->result.confidence < traditionalRereading) {
                // A line the trial of the second language read is not read
                // again.
                TesseractEngine::Result second = line->secondScript
                    ? *line->secondScript
                    : withoutPhantomMarks(image,
                                          engine.recognize(image, models.chinese[1], cancellation));
                if (second.hasHan && second.confidence > line->result.confidence) {
                    if (models.latin >= 0)
                        second = withLatinRuns(engine, models.latin, image, std::move(second),
                                               cancellation, line->cells);
                    check.apply(second.glyphs, image, HanScriptCheck::sure,
                                HanScriptCheck::Script::simplified);
                    line->result = std::move(second);
                    changed = true;
                }
            }
            if (!changed) {
                changed = check.apply(line->result.glyphs, image, HanScriptCheck::leaning).changed
                    > 0;
            }
            // Seen again alone, the line keeps what its image showed.
            if (changed)
                memory->remember(line->key, {line->result, line->minimumHeight});
        });
    }

    // The readings the English model weighs for the characters of
    // terminal rows (see CellVote::Alternatives and WordChoices).
    CellVote::Alternatives weighedReadings(LatinEngine& latin,
                                           const std::vector<CellVote::Row>& rows,
                                           const std::vector<const Recognized*>& readings,
                                           const RecognitionCancellation& cancellation)
    {
        if (models.latin < 0)
            return {};
        const int model = models.latin;
        auto choices = std::make_shared<WordChoices>(
            [&latin, model, &cancellation](const QImage& word) {
                return latin.engine().recognize(word, model, cancellation, true);
            });
        return [choices, &rows, readings](std::size_t row,
                                          const TextAnalysis::Character& character) {
            return choices->of(row, *rows.at(row).line, readings.at(row)->image, character);
        };
    }

    void dropIdle()
    {
        std::vector<std::unique_ptr<TesseractEngine>> dropped;
        {
            std::lock_guard lock(mutex);
            dropped.swap(idle);
            loaded -= int(dropped.size());
        }
    }
};

TesseractTextRecognizer::TesseractTextRecognizer(const QStringList& languages)
    : TesseractTextRecognizer(languages, Options{})
{
}

TesseractTextRecognizer::TesseractTextRecognizer(const QStringList& languages, Options options)
    : pool(std::make_unique<Pool>())
{
    pool->models = modelsFor(languages, options.combinedModel);
    pool->options = options;
    pool->memory = std::make_unique<LineMemory>(std::size_t(std::max(0, options.rememberedLines)));
    pool->words = std::make_unique<WordMemory>(options.rememberedLines > 0 ? rememberedAnalyses : 0);
    pool->workers
        = options.workers > 0 ? options.workers : std::clamp(QThread::idealThreadCount(), 1, 2);
}

TesseractTextRecognizer::~TesseractTextRecognizer() = default;

QString TesseractTextRecognizer::modelName(const QString& language)
{
    return TextRecognizerModule::modelName(language);
}

void TesseractTextRecognizer::prewarm()
{
    if (pool->models.names.isEmpty())
        throw Failure("no text recognition model for the requested languages");
    std::vector<std::unique_ptr<TesseractEngine>> engines;
    for (int i = 0; i < pool->workers; ++i) {
        auto engine = pool->acquire(pool->workers, false);
        if (!engine)
            break;
        engines.push_back(std::move(engine));
    }
    // The models every screen may need (not the second Chinese script),
    // each worker's on a thread of its own.
    std::vector<int> wanted;
    if (pool->models.latin >= 0)
        wanted.push_back(pool->models.latin);
    if (!pool->models.chinese.empty())
        wanted.push_back(pool->models.chinese.front());
    if (pool->models.combined)
        wanted = {0};
    std::exception_ptr failure;
    std::mutex failureMutex;
    std::vector<std::thread> loaders;
    for (auto& engine : engines) {
        loaders.emplace_back([&, raw = engine.get()] {
            try {
                for (const int model : wanted)
                    raw->load(model);
            } catch (...) {
                std::lock_guard lock(failureMutex);
                failure = std::current_exception();
            }
        });
    }
    for (std::thread& loader : loaders)
        loader.join();
    for (auto& engine : engines)
        pool->release(std::move(engine));
    if (failure)
        std::rethrow_exception(failure);
}

void TesseractTextRecognizer::releaseIdleModels() { pool->dropIdle(); }

void TesseractTextRecognizer::forgetLines()
{
    pool->memory->clear();
    pool->words->clear();
}

int TesseractTextRecognizer::modelLoadsInProcess() { return TesseractEngine::loadsInProcess(); }

int TesseractTextRecognizer::loadedModelSets() const
{
    std::lock_guard lock(pool->mutex);
    return pool->loaded;
}

TextAnalysis TesseractTextRecognizer::analyze(const QImage& image,
                                              const RecognitionCancellation& cancellation)
{
    cancellation.throwIfCancelled();
    if (pool->models.names.isEmpty())
        throw Failure("no text recognition model for the requested languages");
    if (image.isNull())
        return {};
    const TextLayout::Views views = TextLayout::views(image);
    const QImage& grey = views.grey;
    const QImage& normalized = views.normalized;
    if (grey.isNull() || normalized.isNull())
        throw Failure("not enough memory to analyse the image");
    const std::vector<TextLayout::Line> found = TextLayout::analyse(normalized, cancellation);
    if (found.empty())
        return {};
    std::vector<QRect> boxes;
    for (const TextLayout::Line& line : found)
        boxes.push_back(line.box);

    // Long lines first, so that the workers finish together. Recognition
    // time grows with a line's length in line heights.
    std::vector<std::size_t> order(boxes.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&boxes](std::size_t a, std::size_t b) {
        return boxes[a].width() * boxes[b].height() > boxes[b].width() * boxes[a].height();
    });

    std::vector<Script> scripts;
    scripts.reserve(found.size());
    for (const TextLayout::Line& line : found)
        scripts.push_back(scriptOf(line, normalized));
    std::vector<std::optional<Recognized>> results(boxes.size());
    const int minimumHeight = pool->options.minimumLineHeight;
    const int retryHeight = minimumHeight * 3 / 2;
    const auto releaseIfMemoryIsLow = [this] {
        const qint64 available = availableMemory();
        if (available >= 0 && available < lowMemoryBytes)
            pool->dropIdle();
    };
    try {
        pool->runAll(
            order.size(),
            [&](TesseractEngine& engine, std::size_t i) {
                cancellation.throwIfCancelled();
                const std::size_t index = order[i];
                Recognized recognized;
                recognized.image = lineImageOf(views, boxes[index], minimumHeight);
                if (recognized.image.image.isNull())
                    return;
                const Script script = scripts[index];
                const TextLayout::Line& layout = found[index];
                const std::vector<RowCells::CellInk> cells = RowCells::inkOf(normalized, layout);
                const QByteArray key = LineMemory::keyOf(recognized.image.image, script);
                recognized.key = key;
                recognized.minimumHeight = minimumHeight;
                if (std::optional<LineMemory::Reading> known = pool->memory->find(key)) {
                    if (known->minimumHeight != minimumHeight)
                        recognized.image = lineImageOf(views, boxes[index], known->minimumHeight);
                    recognized.cells = RowCells::of(cells, layout, recognized.image);
                    recognized.minimumHeight = known->minimumHeight;
                    recognized.result = std::move(known->result);
                } else {
                    recognized.cells = RowCells::of(cells, layout, recognized.image);
                    recognized.result = recognizeLine(engine, pool->models, recognized.image.image,
                                                      script, cancellation, recognized.cells);
                    if (recognized.result.confidence < retryConfidence
                        && boxes[index].height() < retryHeight) {
                        Recognized larger;
                        larger.image = lineImageOf(views, boxes[index], retryHeight);
                        if (!larger.image.image.isNull()) {
                            larger.cells = RowCells::of(cells, layout, larger.image);
                            // A line the Chinese model read as Han text
                            // goes to it first again: the English reading
                            // tried first on lines that do not look Han
                            // already lost at the first size.
                            const Script retryScript
                                = hanByFirstChinese(recognized.result, pool->models)
                                ? Script::looksHan
                                : script;
                            larger.result = recognizeLine(engine, pool->models, larger.image.image,
                                                          retryScript, cancellation, larger.cells);
                            if (larger.result.confidence > recognized.result.confidence) {
                                larger.key = key;
                                larger.minimumHeight = retryHeight;
                                std::swap(recognized, larger);
                            }
                            // Each size may read some Han characters right
                            // that the other misreads ("垃圾" as "垃专");
                            // where the readings differ only there, the
                            // picture chooses.
                            HanScriptCheck::instance().choose(
                                recognized.result.glyphs, recognized.image.image,
                                otherHanReadings(recognized.result, larger.result),
                                HanScriptCheck::between);
                        }
                    }
                    pool->memory->remember(key, {recognized.result, recognized.minimumHeight});
                }
                results[index] = std::move(recognized);
            });
        pool->trySecondScript(results, cancellation);
        pool->leanTraditional(results, cancellation);
    } catch (...) {
        releaseIfMemoryIsLow();
        throw;
    }
    releaseIfMemoryIsLow();
    cancellation.throwIfCancelled();

    TextAnalysis analysis;
    std::vector<std::size_t> foundOf;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        if (!results[i])
            continue;
        const bool sure = plausible(results[i]->result);
        if (!sure && !(found[i].grid && found[i].cells.isValid()
                       && results[i]->result.confidence >= unsureConfidence
                       && hasLetterOrDigit(joined(results[i]->result))))
            continue;
        bool fitted = false;
        TextAnalysis::Line line = toLine(*results[i], found[i], normalized, &fitted);
        // An unsure reading that fits a terminal's cells, one character to
        // each inked cell, is text all the same: no picture or noise does.
        if (!sure && !fitted)
            continue;
        if (!line.words.empty()) {
            analysis.lines.push_back(std::move(line));
            foundOf.push_back(i);
        }
    }
    std::vector<CellVote::Row> rows;
    std::vector<const Recognized*> readingOfRow;
    for (std::size_t l = 0; l < analysis.lines.size(); ++l) {
        const TextLayout::Line& layout = found[foundOf[l]];
        if (layout.grid && layout.cells.isValid()) {
            rows.push_back({&analysis.lines[l], layout.box, layout.cells});
            readingOfRow.push_back(&*results[foundOf[l]]);
        }
    }
    Pool::LatinEngine latin(*pool);
    CellVote::settle(normalized, rows,
                     pool->weighedReadings(latin, rows, readingOfRow, cancellation));
    TerminalEll::settle(normalized, rows);
    DottedZero::settle(normalized, analysis);
    LetterCase::settle(normalized, analysis);
    GapUnderscore::settle(normalized, analysis);
    analysis = pool->words->recall(image, std::move(analysis));
    pool->words->remember(image, analysis);
    return analysis;
}

} // namespace kelpie
