// render_live_text DIR: an editor's canvas over the 1920 × 1080 mixed
// Chinese and English screen with a solid mask over one line, recognised by
// the real recogniser through LiveTextSession, with a drag selection across
// several lines; written as PNG files at 1× and 1.5×, light and dark.
//
// Also prints how long the window takes from recognize() to selectable
// text: first in this fresh process (models not yet loaded), next to one run
// of `OMP_THREAD_LIMIT=1 tesseract` with the same three models on the same
// image, then the median of five runs in the warm process (readings of
// earlier lines are not reused, as for a new screenshot).
//
// render_live_text --safe: the small generated screens (English, Chinese,
// mixed, traditional, dark panel), each line in turn under a mask of each
// effect, as a rectangle and as a brush stroke, recognised through the
// window's flow: how many words of masked lines can be found in the text,
// and how many of the lines read without masks are still read.
#include "annotation/AnnotationDocument.h"
#include "canvas/AnnotationCanvas.h"
#include "canvas/CanvasStyleStore.h"
#include "editor/LiveTextOverlay.h"
#include "editor/LiveTextSession.h"
#include "platform/TesseractTextRecognizer.h"
#include "tests/editor/TesseractTool.h"
#include "tests/support/EventLoopWait.h"
#include "tests/text/TextFixture.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace kelpie;

namespace {

class Styles final : public CanvasStyleStore {
public:
    AnnotationStyle annotationStyle(AnnotationTool tool, double scale) const override
    {
        return AnnotationStyle::initial(tool, scale);
    }
    void setAnnotationStyle(const AnnotationStyle&, AnnotationTool) override { }
};

// One editor: document, canvas, overlay and the session, wired as the
// window wires them.
struct Editor {
    Editor(const QImage& image, std::shared_ptr<TextRecognizer> recognizer)
        : document(image), canvas(document, styles, false), overlay(new LiveTextOverlay(&canvas)),
          session(document, LiveTextSession::engine(std::move(recognizer)))
    {
        canvas.resize(1200, 675);
        overlay->contentsRect = [this] { return canvas.widgetRect(canvas.model().contentRect()); };
        session.gestureInProgress = [this] { return canvas.model().hasDraft(); };
        session.composite = [this] { return canvas.model().previewImage(); };
        session.onClearAnalysis = [this] { overlay->setAnalysis(nullptr, {}); };
        session.onStatus = [this](const QString& text) { status = text; };
        session.onAnalysis = [this](std::shared_ptr<const TextAnalysis> analysis, QSize size) {
            overlay->setAnalysis(std::move(analysis), size);
            overlay->setContentsRectNeedsUpdate();
            status = overlay->text().isEmpty() ? QStringLiteral("没有发现文字") : QString();
        };
        canvas.model().onDocumentChanged = [this] { session.recognize(); };
        canvas.show();
        QApplication::processEvents();
        overlay->setContentsRectNeedsUpdate();
    }

    // Milliseconds from recognize() to the analysis in the overlay.
    double recognise()
    {
        QElapsedTimer clock;
        clock.start();
        session.recognize();
        if (!test::waitFor([this] { return !session.recognizing(); }, 600000))
            return -1;
        return double(clock.nsecsElapsed()) / 1e6;
    }

    Styles styles;
    AnnotationDocument document;
    AnnotationCanvas canvas;
    LiveTextOverlay* overlay;
    LiveTextSession session;
    QString status;
};

void drag(LiveTextOverlay& overlay, QPointF from, QPointF to)
{
    const auto send = [&](QEvent::Type type, QPointF at) {
        QMouseEvent event(type, at, overlay.mapToGlobal(at),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(&overlay, &event);
    };
    send(QEvent::MouseButtonPress, from);
    send(QEvent::MouseMove, (from + to) / 2);
    send(QEvent::MouseMove, to);
    send(QEvent::MouseButtonRelease, to);
}

void save(QWidget& canvas, double ratio, const QString& path)
{
    QImage image((QSizeF(canvas.size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    canvas.render(&image);
    image.save(path);
}

QPalette darkPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
    palette.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    palette.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    palette.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
    palette.setColor(QPalette::Highlight, QColor(0x3d, 0xae, 0xe9));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    return palette;
}

// What would give a masked line away: its Latin words of three letters or
// more and every pair of adjacent Han characters, less those that other
// lines of the screen also show.
QStringList giveaways(const TextFixture& fixture, int masked)
{
    QStringList keys;
    const QString text = fixture.lines[size_t(masked)].text;
    QString word;
    const auto endWord = [&] {
        if (word.size() >= 3)
            keys.append(word);
        word.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.script() == QChar::Script_Han) {
            endWord();
            if (i + 1 < text.size() && text[i + 1].script() == QChar::Script_Han)
                keys.append(text.mid(i, 2));
        } else if (c.isLetterOrNumber()) {
            word += c;
        } else {
            endWord();
        }
    }
    endWord();
    QStringList own;
    for (const QString& key : keys) {
        bool elsewhere = false;
        for (size_t j = 0; j < fixture.lines.size(); ++j)
            elsewhere = elsewhere || (int(j) != masked && fixture.lines[j].text.contains(key));
        if (!elsewhere && !own.contains(key))
            own.append(key);
    }
    return own;
}

AnnotationObject maskOverLine(const QRect& box, double imageHeight, MaskEffect effect, bool brush)
{
    AnnotationStyle style = AnnotationStyle::initial(AnnotationTool::mask, 1);
    style.maskEffect = effect;
    style.maskStrength = effect == MaskEffect::blur ? 12 : 10;
    const QRectF area = QRectF(box).adjusted(-2, -2, 2, 2);
    if (!brush)
        return AnnotationObject(AnnotationTool::mask, style,
                                {area.left(), imageHeight - area.bottom()},
                                {area.right(), imageHeight - area.top()});
    style.maskBrush = true;
    style.width = std::min(80.0, area.height());
    const double y = imageHeight - area.center().y();
    QList<Point> path;
    for (double x = area.left() + style.width / 2; x <= area.right() - style.width / 2 + 1; x += 4)
        path.append({x, y});
    if (path.isEmpty())
        path.append({area.center().x(), y});
    return AnnotationObject(AnnotationTool::mask, style, path.front(), path.back(), path);
}

QStringList readLines(const LiveTextOverlay& overlay)
{
    QStringList lines;
    for (const QString& line : overlay.text().split(QLatin1Char('\n')))
        lines.append(line.trimmed());
    return lines;
}

int safeCounts(std::shared_ptr<TextRecognizer> recognizer)
{
    const std::vector<TextFixture> fixtures
        = {TextFixture::englishInterface(), TextFixture::simplifiedChinese(),
           TextFixture::mixedLines(), TextFixture::traditionalChinese(), TextFixture::darkPanel()};
    int variants = 0, keysChecked = 0, leaks = 0, expected = 0, kept = 0;
    for (const TextFixture& fixture : fixtures) {
        Editor editor(fixture.image, recognizer);
        if (editor.recognise() < 0)
            return 2;
        const QStringList baseline = readLines(*editor.overlay);
        for (size_t masked = 0; masked < fixture.lines.size(); ++masked) {
            const QStringList keys = giveaways(fixture, int(masked));
            for (const MaskEffect effect :
                 {MaskEffect::solid, MaskEffect::pixelate, MaskEffect::blur}) {
                for (const bool brush : {false, true}) {
                    AnnotationState state;
                    state.objects.append(maskOverLine(fixture.lines[masked].box,
                                                      fixture.image.height(), effect, brush));
                    editor.document.commit(state);
                    if (!test::waitFor([&] { return !editor.session.recognizing(); }, 600000))
                        return 2;
                    ++variants;
                    const QStringList read = readLines(*editor.overlay);
                    for (const QString& key : keys) {
                        ++keysChecked;
                        const bool found
                            = std::any_of(read.begin(), read.end(),
                                          [&](const QString& l) { return l.contains(key); });
                        if (found) {
                            ++leaks;
                            std::printf("  leak: %s, line %zu, effect %d, brush %d\n",
                                        qPrintable(fixture.name), masked, int(effect), int(brush));
                        }
                    }
                    for (size_t j = 0; j < fixture.lines.size(); ++j) {
                        if (j == masked || !baseline.contains(fixture.lines[j].text))
                            continue;
                        ++expected;
                        if (read.contains(fixture.lines[j].text))
                            ++kept;
                        else
                            std::printf("  lost: %s, line %zu under a mask on line %zu\n",
                                        qPrintable(fixture.name), j, masked);
                    }
                }
            }
        }
    }
    std::printf("safe text through the window: %d masked variants, %d giveaway words checked, "
                "%d found in the text; unmasked lines read without masks still read: %d of %d\n",
                variants, keysChecked, leaks, kept, expected);
    return leaks == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");

    // Safe text is counted with the recogniser as the application makes it
    // (it remembers lines between recognitions of a window); the timings
    // below read every line anew, as for a new screenshot.
    if (folder == QStringLiteral("--safe"))
        return safeCounts(std::make_shared<TesseractTextRecognizer>());
    TesseractTextRecognizer::Options options;
    options.rememberedLines = 0;
    auto recognizer
        = std::make_shared<TesseractTextRecognizer>(TextRecognizer::languages(), options);
    QDir().mkpath(folder);

    const TextFixture screen = TextFixture::mixedScreen();
    Editor editor(screen.image, recognizer);
    const double first = editor.recognise();
    const double tool = test::tesseractTool(screen.image);
    std::printf("fresh process: recognize() to selectable text %.0f ms; "
                "OMP_THREAD_LIMIT=1 tesseract -l chi_sim+chi_tra+eng %.0f ms\n",
                first, tool);

    std::vector<double> warm;
    for (int i = 0; i < 5; ++i)
        warm.push_back(editor.recognise());
    std::sort(warm.begin(), warm.end());
    std::printf("warm process: recognize() to selectable text, median of 5: %.0f ms\n",
                warm[warm.size() / 2]);

    // A solid mask over the third line of the sidebar: its text must go.
    const TextFixture::Line hidden = screen.lines.at(3);
    AnnotationStyle style = AnnotationStyle::initial(AnnotationTool::mask, 1);
    const double h = screen.image.height();
    AnnotationState state = editor.document.state();
    state.objects.append(AnnotationObject(AnnotationTool::mask, style,
                                          {hidden.box.left() - 4.0, h - hidden.box.bottom() - 4},
                                          {hidden.box.right() + 4.0, h - hidden.box.top() + 4}));
    editor.document.commit(state);
    test::waitFor([&] { return !editor.session.recognizing(); }, 600000);
    const QStringList read = editor.overlay->text().split(QLatin1Char('\n'));
    const bool leaked = std::any_of(read.begin(), read.end(), [&](const QString& line) {
        return line.trimmed() == hidden.text;
    });
    std::printf("masked line \"%s\" in the text: %s; lines read: %lld\n", qPrintable(hidden.text),
                leaked ? "YES (leak)" : "no", static_cast<long long>(read.size()));

    const QRectF content = editor.overlay->contentsRect();
    const auto widgetPoint = [&](QPoint image) {
        return QPointF(content.x() + image.x() * content.width() / screen.image.width(),
                       content.y() + image.y() * content.height() / screen.image.height());
    };
    const QRect from = screen.lines.at(12).box;
    const QRect to = screen.lines.at(16).box;
    drag(*editor.overlay, widgetPoint(from.topLeft() + QPoint(20, from.height() / 2)),
         widgetPoint(to.topLeft() + QPoint(to.width() / 2, to.height() / 2)));

    for (const double ratio : {1.0, 1.5}) {
        save(editor.canvas, ratio,
             QStringLiteral("%1/live-text-light-%2x.png").arg(folder).arg(ratio));
    }
    editor.overlay->setPalette(darkPalette());
    save(editor.canvas, 1.5, QStringLiteral("%1/live-text-dark-1.5x.png").arg(folder));
    return leaked ? 1 : 0;
}
