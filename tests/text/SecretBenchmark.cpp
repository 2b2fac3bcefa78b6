// bench_secrets: "mask every secret" on generated screens (a terminal with
// an environment listing, a settings page, a chat in Chinese, a log) with
// planted secrets and look-alikes, read by the real recogniser.
//
//   bench_secrets [--show] [--lines] [--save-images DIR] [--screen NAME]...
//
// For each screen it reports
//   read      planted secrets the recogniser read correctly (their text, with
//             look-alike letters read as digits and spaces dropped, appears
//             on a line at their place);
//   covered   of those, the ones whose every ink pixel lies inside the masks
//             the command would add; recall = covered / read;
//   masks     secrets the finder reported, and those that touch no planted
//             secret; precision = (masks − stray) / masks;
//   cov/all   planted secrets covered whether read correctly or not;
//   alikes    look-alikes a mask touches;
//   leaked    after the masks are applied (solid, pixelated and blurred), the
//             composite prepared as safe text (SafeTextImage::prepare, the
//             masks as occlusions) and read again: planted secrets whose text
//             can still be read anywhere on the screen, per effect, and of
//             those the ones the masks had covered (cov; must be 0: the rest
//             are secrets the first reading missed).
// --show prints the secrets read but not covered, the stray masks and the
// leaked secrets; --lines prints every recognised line; --save-images writes each screen as it is
// and with the solid masks.
#include "annotation/AnnotationDocument.h"
#include "annotation/AnnotationRenderer.h"
#include "platform/TesseractTextRecognizer.h"
#include "tests/text/SecretScreens.h"
#include "text/SafeTextImage.h"
#include "text/SecretFinder.h"
#include "text/SecretMasks.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>

#include <cstdio>

namespace {

using namespace kelpie;

struct Options {
    bool show = false;
    bool lines = false;
    QString imageDirectory;
    QStringList screens;
};

// A text compared loosely: look-alike letters read as digits, blanks gone.
QString loose(const QString& text)
{
    QString result = SecretText(text).digits();
    result.remove(QLatin1Char(' '));
    result.remove(QLatin1Char('\t'));
    result.remove(QLatin1Char('\n'));
    return result;
}

QRect pixelRect(const Rect& rect)
{
    return QRect(QPoint(int(std::floor(rect.minX())), int(std::floor(rect.minY()))),
                 QPoint(int(std::ceil(rect.maxX())) - 1, int(std::ceil(rect.maxY())) - 1));
}

bool inside(const QPoint& pixel, const std::vector<SecretMatch>& matches)
{
    for (const SecretMatch& match : matches) {
        for (const Rect& rect : match.rects) {
            if (pixelRect(rect).contains(pixel))
                return true;
        }
    }
    return false;
}

// Whether every pixel of the item's ink (where the screen differs from its
// blank version) lies inside a mask.
bool covered(const SecretScreens::Screen& screen, const SecretScreens::Planted& item,
             const std::vector<SecretMatch>& matches)
{
    const QRect box = item.box.intersected(screen.image.rect());
    for (int y = box.top(); y <= box.bottom(); ++y) {
        for (int x = box.left(); x <= box.right(); ++x) {
            const QColor a = screen.image.pixelColor(x, y);
            const QColor b = screen.blank.pixelColor(x, y);
            const int difference
                = std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                            std::abs(a.blue() - b.blue())});
            if (difference >= 16 && !inside(QPoint(x, y), matches))
                return false;
        }
    }
    return true;
}

bool touches(const SecretMatch& match, const QRect& box)
{
    for (const Rect& rect : match.rects) {
        if (pixelRect(rect).intersects(box))
            return true;
    }
    return false;
}

// Whether the recogniser read the item: its loose text appears in the loose
// text of the lines (taken together, left to right) that share its row.
bool read(const TextAnalysis& analysis, const SecretScreens::Planted& item)
{
    QString row;
    for (const TextAnalysis::Line& line : analysis.lines) {
        const double shared = std::min(line.box.maxY(), double(item.box.bottom()))
            - std::max(line.box.minY(), double(item.box.top()));
        if (shared >= 0.5 * std::min(line.box.height(), double(item.box.height())))
            row += line.text;
    }
    return loose(row).contains(loose(item.text));
}

struct Tally {
    int secrets = 0;
    int read = 0;
    int covered = 0;
    int coveredAll = 0; // secrets covered whether read correctly or not
    int masks = 0;
    int stray = 0;
    int lookAlikes = 0;
    int lookAlikesMasked = 0;
    int leaked[3] = {0, 0, 0};
    int leakedCovered = 0; // leaks of secrets the masks covered: must stay 0
    double seconds = 0;

    void add(const Tally& other)
    {
        secrets += other.secrets;
        read += other.read;
        covered += other.covered;
        coveredAll += other.coveredAll;
        leakedCovered += other.leakedCovered;
        masks += other.masks;
        stray += other.stray;
        lookAlikes += other.lookAlikes;
        lookAlikesMasked += other.lookAlikesMasked;
        for (int i = 0; i < 3; ++i)
            leaked[i] += other.leaked[i];
        seconds += other.seconds;
    }

    void print(const char* name) const
    {
        const double recall = read > 0 ? 100.0 * covered / read : 0;
        const double precision = masks > 0 ? 100.0 * (masks - stray) / masks : 100;
        std::printf("%-9s %7d %5d %7d %6.1f%% %7d %5d %5d %6.1f%% %3d/%-3d %4d %4d %4d %4d %6.1f\n",
                    name, secrets, read, covered, recall, coveredAll, masks, stray, precision,
                    lookAlikesMasked, lookAlikes, leaked[0], leaked[1], leaked[2], leakedCovered,
                    seconds);
    }
};

QString matchText(const TextAnalysis& analysis, const SecretMatch& match)
{
    return analysis.text().mid(match.range.begin, match.range.end - match.range.begin);
}

Tally run(const SecretScreens::Screen& screen, TesseractTextRecognizer& recognizer,
          const Options& options)
{
    Tally tally;
    const RecognitionCancellation cancellation;
    QElapsedTimer timer;
    timer.start();
    const TextAnalysis analysis = recognizer.analyze(screen.image, cancellation);
    const std::vector<SecretMatch> matches = SecretFinder::find(analysis);
    tally.seconds = double(timer.elapsed()) / 1000;
    if (options.lines) {
        for (const TextAnalysis::Line& line : analysis.lines)
            std::printf("  | %4.0f,%4.0f %s\n", line.box.minX(), line.box.minY(),
                        qPrintable(line.text));
    }

    for (const SecretScreens::Planted& item : screen.planted) {
        if (!item.secret) {
            ++tally.lookAlikes;
            const bool masked
                = std::any_of(matches.begin(), matches.end(),
                              [&](const SecretMatch& m) { return touches(m, item.box); });
            tally.lookAlikesMasked += masked;
            if (masked && options.show)
                std::printf("  %s: look-alike masked: %s\n", qPrintable(screen.name),
                            qPrintable(item.text));
            continue;
        }
        ++tally.secrets;
        const bool isCovered = covered(screen, item, matches);
        tally.coveredAll += isCovered;
        if (!read(analysis, item))
            continue;
        ++tally.read;
        if (isCovered)
            ++tally.covered;
        else if (options.show)
            std::printf("  %s: read but not covered: %s\n", qPrintable(screen.name),
                        qPrintable(item.text));
    }
    for (const SecretMatch& match : matches) {
        ++tally.masks;
        const bool onSecret = std::any_of(screen.planted.begin(), screen.planted.end(),
                                          [&](const SecretScreens::Planted& item) {
                                              return item.secret && touches(match, item.box);
                                          });
        if (!onSecret) {
            ++tally.stray;
            if (options.show)
                std::printf("  %s: stray mask (%s): %s\n", qPrintable(screen.name),
                            qPrintable(rawValue(match.rule)),
                            qPrintable(matchText(analysis, match)));
        }
    }

    // Apply, prepare as safe text and read again.
    QList<Rect> baseRegions;
    try {
        baseRegions = SafeTextImage::textRegions(screen.image, cancellation);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: no text regions (%s)\n", qPrintable(screen.name), error.what());
    }
    int effectIndex = 0;
    for (MaskEffect effect : allMaskEffects) {
        AnnotationDocument document(screen.image);
        AnnotationStyle style = AnnotationStyle::initial(AnnotationTool::mask, 1);
        style.maskEffect = effect;
        SecretMasks::apply(document, matches, style);
        const std::optional<QImage> composite
            = AnnotationRenderer::render(document.baseImage(), document.state().objects);
        int& leaked = tally.leaked[effectIndex++];
        if (!composite) {
            leaked = tally.secrets; // nothing to show for it: count all as unproven
            continue;
        }
        if (effect == MaskEffect::solid && !options.imageDirectory.isEmpty()) {
            const QDir directory(options.imageDirectory);
            document.baseImage().save(directory.filePath(screen.name + QStringLiteral(".png")));
            composite->save(directory.filePath(screen.name + QStringLiteral("-masked.png")));
        }
        QString safeText;
        try {
            const QImage prepared = SafeTextImage::prepare(
                *composite, baseRegions, document.state().occlusions(), cancellation);
            safeText = loose(recognizer.analyze(prepared, cancellation).text());
        } catch (const std::exception& error) {
            std::fprintf(stderr, "%s: safe text failed (%s)\n", qPrintable(screen.name),
                         error.what());
            leaked = tally.secrets;
            continue;
        }
        for (const SecretScreens::Planted& item : screen.planted) {
            if (item.secret && safeText.contains(loose(item.text))) {
                ++leaked;
                tally.leakedCovered += covered(screen, item, matches);
                if (options.show)
                    std::printf("  %s: leaked with %s masks: %s\n", qPrintable(screen.name),
                                qPrintable(rawValue(effect)), qPrintable(item.text));
            }
        }
    }
    return tally;
}

Options parse(const QStringList& arguments)
{
    Options options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--show"))
            options.show = true;
        else if (arguments[i] == QLatin1String("--lines"))
            options.lines = true;
        else if (arguments[i] == QLatin1String("--save-images") && i + 1 < arguments.size())
            options.imageDirectory = arguments[++i];
        else if (arguments[i] == QLatin1String("--screen") && i + 1 < arguments.size())
            options.screens.append(arguments[++i]);
        else
            std::fprintf(stderr, "ignored argument %s\n", qPrintable(arguments[i]));
    }
    return options;
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(file.readAll()).trimmed();
}

} // namespace

int main(int argc, char* argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const Options options = parse(application.arguments());

    TesseractTextRecognizer recognizer;
    try {
        recognizer.prewarm();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "the recogniser cannot start: %s\n", error.what());
        return 1;
    }
    std::printf("load average before: %s\n", qPrintable(loadAverage()));
    std::printf("%-9s %7s %5s %7s %7s %7s %5s %5s %7s %7s %19s %6s\n", "screen", "secrets", "read",
                "covered", "recall", "cov/all", "masks", "stray", "precis.", "alikes",
                "leaked s/p/b/cov", "find s");
    Tally total;
    for (const SecretScreens::Screen& screen : SecretScreens::all()) {
        if (!options.screens.isEmpty() && !options.screens.contains(screen.name))
            continue;
        const Tally tally = run(screen, recognizer, options);
        tally.print(qPrintable(screen.name));
        total.add(tally);
    }
    total.print("all");
    std::printf("load average after: %s\n", qPrintable(loadAverage()));
    return 0;
}
