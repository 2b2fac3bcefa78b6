#include "tests/text/OcrSafeBench.h"

#include "annotation/AnnotationObject.h"
#include "annotation/AnnotationRenderer.h"
#include "annotation/MaskEffect.h"
#include "platform/TesseractTextRecognizer.h"
#include "tests/text/OcrBenchTools.h"
#include "tests/text/OcrCorpus.h"
#include "tests/text/OcrScore.h"
#include "text/SafeTextImage.h"

#include <QElapsedTimer>

#include <cstdio>
#include <map>

namespace kelpie::OcrSafeBench {

namespace {

using Word = TextAnalysis::Word;

// Masks cover a word's box and this much more, across and down, so that no
// anti-aliased edge of a glyph is left beside them.
constexpr double maskMarginX = 1;
constexpr double maskMarginY = 2;
// Words farther than this from every mask must still be read.
constexpr double keptDistance = SafeTextImage::regionGrowth;

const QStringList defaultScreens{
    QStringLiteral("term-bitmap-light-ls"),   QStringLiteral("term-cjk-light-mixed"),
    QStringLiteral("qt-table-files"),         QStringLiteral("gtk-list-selected"),
    QStringLiteral("term-dejavu-dark-color"), QStringLiteral("term-bitmap-dark-log"),
    QStringLiteral("gtk-list-dark"),
};

Rect grown(const Rect& rect, double dx, double dy)
{
    return Rect(rect.minX() - dx, rect.minY() - dy, rect.width() + 2 * dx, rect.height() + 2 * dy);
}

qsizetype length(const QString& text) { return qsizetype(text.toStdU32String().size()); }

// One way of masking a screen: the masks (image pixels, top-left origin)
// and the words they cover.
struct Variant {
    const char* target = "";
    std::vector<Rect> masks;
    std::vector<Word> masked;
};

Rect unionOf(const std::vector<Word>& words)
{
    Rect box = words.front().box;
    for (const Word& word : words)
        box = box.united(word.box);
    return box;
}

void addMask(Variant* variant, const std::vector<Word>& words)
{
    if (words.empty())
        return;
    variant->masks.push_back(grown(unionOf(words), maskMarginX, maskMarginY));
    variant->masked.insert(variant->masked.end(), words.begin(), words.end());
}

// Lines of the unmasked reading spread over the screen: at the given
// fractions of those that qualify.
std::vector<const TextAnalysis::Line*> spread(const TextAnalysis& analysis,
                                              const std::vector<double>& fractions,
                                              std::size_t minimumWords)
{
    std::vector<const TextAnalysis::Line*> candidates;
    for (const TextAnalysis::Line& line : analysis.lines) {
        if (line.words.size() >= minimumWords && length(line.text) >= 3)
            candidates.push_back(&line);
    }
    std::vector<const TextAnalysis::Line*> picked;
    for (double fraction : fractions) {
        if (candidates.empty())
            break;
        const auto* line = candidates[std::min(candidates.size() - 1,
                                               std::size_t(fraction * double(candidates.size())))];
        if (std::find(picked.begin(), picked.end(), line) == picked.end())
            picked.push_back(line);
    }
    return picked;
}

std::vector<Variant> variantsOf(const TextAnalysis& analysis)
{
    Variant lines{"whole lines", {}, {}};
    for (const auto* line : spread(analysis, {0.25, 0.75}, 1))
        addMask(&lines, line->words);

    Variant halves{"half lines", {}, {}};
    for (const auto* line : spread(analysis, {0.33, 0.66}, 2)) {
        const std::size_t half = (line->words.size() + 1) / 2;
        addMask(&halves, std::vector<Word>(line->words.begin(), line->words.begin() + long(half)));
    }

    Variant words{"single words", {}, {}};
    for (const auto* line : spread(analysis, {0.2, 0.5, 0.8}, 1)) {
        // The longest word of the line, the likeliest secret.
        const Word* longest = &line->words.front();
        for (const Word& word : line->words) {
            if (length(word.text) > length(longest->text))
                longest = &word;
        }
        addMask(&words, {*longest});
    }
    return {lines, halves, words};
}

AnnotationObject maskObject(const Rect& mask, MaskEffect effect, int imageHeight)
{
    AnnotationStyle style = AnnotationStyle::initial(AnnotationTool::mask, 1);
    style.maskEffect = effect;
    // Annotation space has its origin at the bottom-left, y up.
    return AnnotationObject(AnnotationTool::mask, style,
                            Point{mask.minX(), imageHeight - mask.maxY()},
                            Point{mask.maxX(), imageHeight - mask.minY()});
}

std::vector<Word> wordsOf(const TextAnalysis& analysis)
{
    std::vector<Word> words;
    for (const TextAnalysis::Line& line : analysis.lines)
        words.insert(words.end(), line.words.begin(), line.words.end());
    return words;
}

// Masked words the reading still gives: a word read over the mask that is
// the masked word or a piece of it, or the masked word read more often than
// the unmasked screen shows it outside the masks.
int recovered(const Variant& variant, const std::vector<Word>& before, const TextAnalysis& after)
{
    const std::vector<Word> read = wordsOf(after);
    std::map<QString, int> beforeCount;
    std::map<QString, int> afterCount;
    std::map<QString, int> maskedCount;
    for (const Word& word : before)
        ++beforeCount[word.text];
    for (const Word& word : read)
        ++afterCount[word.text];
    for (const Word& word : variant.masked)
        ++maskedCount[word.text];

    int count = 0;
    for (const Word& secret : variant.masked) {
        bool found = afterCount[secret.text] > beforeCount[secret.text] - maskedCount[secret.text];
        for (const Rect& mask : variant.masks) {
            if (!mask.intersects(secret.box))
                continue;
            for (const Word& word : read) {
                if (!grown(mask, keptDistance, keptDistance).intersects(word.box))
                    continue;
                const qsizetype size = length(word.text);
                if (word.text == secret.text
                    || (size >= 2
                        && OcrScore::substringDistance(word.text, secret.text) * 3 <= size))
                    found = true;
            }
        }
        count += found;
    }
    return count;
}

struct Kept {
    int far = 0;         // words of the unmasked reading away from every mask
    int lostSameRow = 0; // of those, lost, on a row a mask reaches
    int lostOtherRows = 0;
};

Kept kept(const Variant& variant, const std::vector<Word>& before, const TextAnalysis& after)
{
    const std::vector<Word> read = wordsOf(after);
    Kept result;
    for (const Word& word : before) {
        bool near = false;
        bool sameRow = false;
        for (const Rect& mask : variant.masks) {
            near = near || grown(word.box, keptDistance, keptDistance).intersects(mask);
            sameRow = sameRow || (word.box.minY() < mask.maxY() && mask.minY() < word.box.maxY());
        }
        if (near)
            continue;
        ++result.far;
        bool found = false;
        for (const Word& other : read) {
            if (other.text == word.text
                && grown(word.box, keptDistance, keptDistance).intersects(other.box))
                found = true;
        }
        if (!found)
            ++(sameRow ? result.lostSameRow : result.lostOtherRows);
    }
    return result;
}

bool isDark(const QImage& image)
{
    const QImage small = image.scaled(32, 32, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    double sum = 0;
    for (int y = 0; y < small.height(); ++y) {
        for (int x = 0; x < small.width(); ++x)
            sum += qGray(small.pixel(x, y));
    }
    return sum / (small.width() * small.height()) < 128;
}

struct Tally {
    int variants = 0;
    int masked = 0;
    int recovered = 0;
    int recoveredUnprepared = 0;
    int failed = 0;
    Kept kept;

    void add(const Tally& other)
    {
        variants += other.variants;
        masked += other.masked;
        recovered += other.recovered;
        recoveredUnprepared += other.recoveredUnprepared;
        failed += other.failed;
        kept.far += other.kept.far;
        kept.lostSameRow += other.kept.lostSameRow;
        kept.lostOtherRows += other.kept.lostOtherRows;
    }

    void print(const QString& title, bool unprepared) const
    {
        std::printf("  %-14s %3d variants  masked %4d  recovered %3d", title.toUtf8().constData(),
                    variants, masked, recovered);
        if (unprepared)
            std::printf(" (unprepared %3d)", recoveredUnprepared);
        std::printf("  far %5d  lost %4d (same row %d, other rows %d)", kept.far,
                    kept.lostSameRow + kept.lostOtherRows, kept.lostSameRow, kept.lostOtherRows);
        if (failed)
            std::printf("  preparation failed %d", failed);
        std::printf("\n");
    }
};

} // namespace

int run(const OcrCorpusBench::Options& options)
{
    const OcrCorpus corpus = OcrCorpus::load(OcrCorpus::defaultDirectory());
    // The recogniser as the application sets it up: lines read before are
    // remembered, as they are between edits in the editor.
    TesseractTextRecognizer recognizer;
    recognizer.prewarm();
    const RecognitionCancellation cancellation;

    std::printf(
        "bench_ocr --safe: masks over words read on the unmasked screen, the composite\n"
        "  prepared with SafeTextImage::prepare (base-image text regions included) and\n"
        "  read. 'recovered': masked words still read; 'far': words of the unmasked\n"
        "  reading more than %.0f px from every mask; 'lost': of those, not read again.\n\n",
        keptDistance);
    std::printf("%-24s %-5s %-9s %-12s %5s %6s %5s", "screen", "theme", "effect", "target", "masks",
                "masked", "recov");
    if (options.unprepared)
        std::printf(" %5s", "unprp");
    std::printf(" %5s %5s %5s %7s\n", "far", "lostS", "lostO", "ms");

    std::map<QString, Tally> byEffect;
    std::map<QString, Tally> byTarget;
    std::map<QString, Tally> byTheme;
    Tally total;
    const QStringList names = options.screens.isEmpty() ? defaultScreens : options.screens;
    for (const QString& name : names) {
        const OcrCorpus::Screen* screen = corpus.find(name);
        if (!screen) {
            std::fprintf(stderr, "no screen named %s\n", name.toUtf8().constData());
            continue;
        }
        const QImage base = screen->image();
        const QString theme = isDark(base) ? QStringLiteral("dark") : QStringLiteral("light");
        const TextAnalysis unmasked = recognizer.analyze(base, cancellation);
        const std::vector<Word> before = wordsOf(unmasked);
        QList<Rect> baseRegions;
        try {
            baseRegions = SafeTextImage::textRegions(base, cancellation);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "%s: no text regions (%s)\n", name.toUtf8().constData(),
                         error.what());
        }
        for (const Variant& variant : variantsOf(unmasked)) {
            for (MaskEffect effect : allMaskEffects) {
                QList<AnnotationObject> objects;
                QList<Rect> occlusions;
                for (const Rect& mask : variant.masks) {
                    objects.append(maskObject(mask, effect, base.height()));
                    if (const auto occlusion = objects.back().occlusion())
                        occlusions.append(*occlusion);
                }
                const std::optional<QImage> composite = AnnotationRenderer::render(base, objects);
                Tally tally;
                tally.variants = 1;
                tally.masked = int(variant.masked.size());
                QElapsedTimer timer;
                timer.start();
                if (!composite) {
                    ++tally.failed;
                } else {
                    try {
                        const QImage prepared = SafeTextImage::prepare(*composite, baseRegions,
                                                                       occlusions, cancellation);
                        const TextAnalysis masked = recognizer.analyze(prepared, cancellation);
                        tally.recovered = recovered(variant, before, masked);
                        tally.kept = kept(variant, before, masked);
                    } catch (const SafeTextImage::PreparationFailure&) {
                        ++tally.failed; // no text at all: nothing leaks, nothing kept
                        tally.kept.far = kept(variant, before, TextAnalysis()).far;
                        tally.kept.lostOtherRows = tally.kept.far;
                    }
                }
                const double ms = double(timer.nsecsElapsed()) / 1e6;
                if (composite && options.unprepared)
                    tally.recoveredUnprepared
                        = recovered(variant, before, recognizer.analyze(*composite, cancellation));
                std::printf("%-24s %-5s %-9s %-12s %5zu %6d %5d", name.toUtf8().constData(),
                            theme.toUtf8().constData(), rawValue(effect).toUtf8().constData(),
                            variant.target, variant.masks.size(), tally.masked, tally.recovered);
                if (options.unprepared)
                    std::printf(" %5d", tally.recoveredUnprepared);
                std::printf(" %5d %5d %5d %7.0f\n", tally.kept.far, tally.kept.lostSameRow,
                            tally.kept.lostOtherRows, ms);
                std::fflush(stdout);
                byEffect[rawValue(effect)].add(tally);
                byTarget[QString::fromUtf8(variant.target)].add(tally);
                byTheme[theme].add(tally);
                total.add(tally);
            }
        }
    }
    std::printf("\nBy effect:\n");
    for (const auto& [key, tally] : byEffect)
        tally.print(key, options.unprepared);
    std::printf("By target:\n");
    for (const auto& [key, tally] : byTarget)
        tally.print(key, options.unprepared);
    std::printf("By theme:\n");
    for (const auto& [key, tally] : byTheme)
        tally.print(key, options.unprepared);
    std::printf("All:\n");
    total.print(QStringLiteral("all"), options.unprepared);
    std::printf(
        "\nTargets:\n  %s  no masked word recoverable\n  %s  every word farther than %.0f px "
        "from a mask still read\n",
        total.recovered == 0 ? "pass" : "FAIL",
        total.kept.lostSameRow + total.kept.lostOtherRows == 0 ? "pass" : "FAIL", keptDistance);
    return 0;
}

} // namespace kelpie::OcrSafeBench
