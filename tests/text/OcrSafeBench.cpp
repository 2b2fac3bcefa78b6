#include "tests/text/OcrSafeBench.h"

#include "annotation/AnnotationObject.h"
#include "annotation/AnnotationRenderer.h"
#include "annotation/MaskEffect.h"
#include "platform/TesseractTextRecognizer.h"
#include "tests/text/OcrCorpus.h"
#include "tests/text/OcrMaskVariant.h"
#include "text/SafeTextImage.h"

#include <QDir>
#include <QElapsedTimer>

#include <cstdio>
#include <map>

namespace kelpie::OcrSafeBench {

namespace {

using Kept = OcrMaskVariant::Kept;
constexpr double keptDistance = OcrMaskVariant::keptDistance;

const QStringList defaultScreens{
    QStringLiteral("term-bitmap-light-ls"),   QStringLiteral("term-cjk-light-mixed"),
    QStringLiteral("qt-table-files"),         QStringLiteral("gtk-list-selected"),
    QStringLiteral("term-dejavu-dark-color"), QStringLiteral("term-bitmap-dark-log"),
    QStringLiteral("gtk-list-dark"),
};

AnnotationObject maskObject(const Rect& mask, MaskEffect effect, int imageHeight)
{
    AnnotationStyle style = AnnotationStyle::initial(AnnotationTool::mask, 1);
    style.maskEffect = effect;
    // Annotation space has its origin at the bottom-left, y up.
    return AnnotationObject(AnnotationTool::mask, style,
                            Point{mask.minX(), imageHeight - mask.maxY()},
                            Point{mask.maxX(), imageHeight - mask.minY()});
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
        kept.lostPainted += other.kept.lostPainted;
        kept.lostUntouched += other.kept.lostUntouched;
    }

    void print(const QString& title, bool unprepared) const
    {
        std::printf("  %-14s %3d variants  masked %4d  recovered %3d", title.toUtf8().constData(),
                    variants, masked, recovered);
        if (unprepared)
            std::printf(" (unprepared %3d)", recoveredUnprepared);
        std::printf("  far %5d  lost %4d (painted over %d, untouched %d)", kept.far,
                    kept.lostPainted + kept.lostUntouched, kept.lostPainted, kept.lostUntouched);
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
    std::printf(" %5s %5s %5s %7s\n", "far", "lostP", "lostU", "ms");

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
        QList<Rect> baseRegions;
        try {
            baseRegions = SafeTextImage::textRegions(base, cancellation);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "%s: no text regions (%s)\n", name.toUtf8().constData(),
                         error.what());
        }
        for (const OcrMaskVariant& variant : OcrMaskVariant::of(unmasked)) {
            for (MaskEffect effect : allMaskEffects) {
                QList<AnnotationObject> objects;
                QList<Rect> occlusions;
                // Distances are measured from what each mask hides, its
                // occlusion (a pixel beyond the rectangle asked for), back
                // in the reading's top-left space.
                OcrMaskVariant measured = variant;
                measured.masks.clear();
                for (const Rect& mask : variant.masks) {
                    objects.append(maskObject(mask, effect, base.height()));
                    if (const auto occlusion = objects.back().occlusion()) {
                        occlusions.append(*occlusion);
                        measured.masks.push_back(Rect(occlusion->minX(),
                                                      base.height() - occlusion->maxY(),
                                                      occlusion->width(), occlusion->height()));
                    }
                }
                const std::optional<QImage> composite = AnnotationRenderer::render(base, objects);
                Tally tally;
                QStringList lost;
                tally.variants = 1;
                tally.masked = int(measured.masked.size());
                QElapsedTimer timer;
                timer.start();
                if (!composite) {
                    ++tally.failed;
                } else {
                    try {
                        const QImage prepared = SafeTextImage::prepare(*composite, baseRegions,
                                                                       occlusions, cancellation);
                        if (!options.imageDirectory.isEmpty())
                            prepared.save(QDir(options.imageDirectory)
                                              .filePath(QStringLiteral("%1-%2-%3.png")
                                                            .arg(name, rawValue(effect),
                                                                 QString::fromUtf8(variant.target)
                                                                     .replace(QLatin1Char(' '),
                                                                              QLatin1Char('-')))));
                        const TextAnalysis masked = recognizer.analyze(prepared, cancellation);
                        tally.recovered = measured.recovered(unmasked, masked);
                        tally.kept = measured.kept(unmasked, masked, *composite, prepared,
                                                  options.showLines ? &lost : nullptr);
                    } catch (const SafeTextImage::PreparationFailure&) {
                        ++tally.failed; // no text at all: nothing leaks, nothing kept
                        tally.kept
                            = measured.kept(unmasked, TextAnalysis(), *composite, *composite);
                    }
                }
                const double ms = double(timer.nsecsElapsed()) / 1e6;
                if (composite && options.unprepared)
                    tally.recoveredUnprepared
                        = measured.recovered(unmasked, recognizer.analyze(*composite, cancellation));
                std::printf("%-24s %-5s %-9s %-12s %5zu %6d %5d", name.toUtf8().constData(),
                            theme.toUtf8().constData(), rawValue(effect).toUtf8().constData(),
                            variant.target, variant.masks.size(), tally.masked, tally.recovered);
                if (options.unprepared)
                    std::printf(" %5d", tally.recoveredUnprepared);
                std::printf(" %5d %5d %5d %7.0f\n", tally.kept.far, tally.kept.lostPainted,
                            tally.kept.lostUntouched, ms);
                for (const QString& word : lost)
                    std::printf("      lost %s\n", word.toUtf8().constData());
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
        total.kept.lostPainted + total.kept.lostUntouched == 0 ? "pass" : "FAIL", keptDistance);
    return 0;
}

} // namespace kelpie::OcrSafeBench
