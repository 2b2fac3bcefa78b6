// Developer command: renders the editor window in its three presentations
// (the plain editor, the screenshot editor over a made-up desktop, a pinned
// image) at 1×, 1.5× and 2×, light and dark, as PNG files to look at.
//
//   render_editor [OUTPUT_DIR]
//
// Each scale runs in a process of its own whose screen has that scale, so
// the pictures are exactly what a screen at that scale would show.

#include "annotation/AnnotationDocument.h"
#include "canvas/AnnotationCanvas.h"
#include "canvas/AnnotationWindow.h"
#include "editor/ImageWindow.h"
#include "editor/ScreenshotPresentation.h"
#include "settings/AppPreferences.h"
#include "settings/PreferencesStore.h"
#include "tests/overlay/OverlayFixture.h"
#include "tests/support/RenderAtScales.h"

#include <QApplication>
#include <QBackingStore>
#include <QDir>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QStyle>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

using namespace kelpie;

namespace {

// A captured window: a title bar, a side bar and lines of text.
QImage sampleCrop(int width, int height, double ratio)
{
    QImage image(QSize(width, height) * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(QRectF(0, 0, width, height), QColor(250, 250, 252));
    painter.fillRect(QRectF(0, 0, width, 34), QColor(226, 230, 238));
    painter.fillRect(QRectF(0, 34, 120, height - 34), QColor(238, 240, 245));
    for (int i = 0; i < 3; ++i) {
        painter.setBrush(QColor::fromHsv(i * 40, 170, 235));
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(QPointF(16 + 18 * i, 17), 5.5, 5.5);
    }
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPixelSize(13);
    painter.setFont(font);
    painter.setPen(QColor(50, 54, 64));
    for (int i = 0; i < 5; ++i)
        painter.drawText(QPointF(14, 62 + 26 * i), QStringLiteral("收件箱 %1").arg(i + 1));
    for (int i = 0; (i + 1) * 24 + 40 < height; ++i)
        painter.drawText(QPointF(140, 64 + 24 * i),
                         QStringLiteral("Quarterly report, line %1 — 季度报告").arg(i + 1));
    return image;
}

std::unique_ptr<AnnotationDocument> annotated(const QImage& crop)
{
    auto document = std::make_unique<AnnotationDocument>(crop);
    const double w = crop.width();
    const double h = crop.height();
    const auto object = [](AnnotationTool tool, Point a, Point b) {
        return AnnotationObject(tool, AnnotationStyle::initial(tool, 1), a, b);
    };
    AnnotationState state;
    state.objects = {object(AnnotationTool::rectangle, {w * 0.3, h * 0.45}, {w * 0.75, h * 0.7}),
                     object(AnnotationTool::arrow, {w * 0.9, h * 0.2}, {w * 0.77, h * 0.5})};
    document->commit(state);
    return document;
}

// The screenshot editor over a made-up 1440 × 900 point desktop, with the
// crop (y up, in points) taken from the frozen screen.
ImageWindow* screenshotEditor(const Rect& region, double ratio,
                              std::shared_ptr<AppPreferences> preferences)
{
    const QImage screen = test::makeDesktopFixture(1440, 900, ratio).image;
    const QRect pixels = QRectF(region.minX() * ratio, (900 - region.maxY()) * ratio,
                                region.width() * ratio, region.height() * ratio)
                             .toAlignedRect();
    ScreenshotPresentation presentation{screen, Rect(0, 0, 1440, 900), region, 1, true};
    return new ImageWindow(std::make_unique<AnnotationDocument>(screen.copy(pixels)), false,
                           std::move(preferences), presentation);
}

// A pin floats over a desktop; its own pixels are partly see-through.
QImage onDesktop(const QImage& window, double ratio)
{
    const QSize margin = QSize(48, 48) * ratio;
    QImage out(window.size() + margin * 2, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&out);
    QLinearGradient wallpaper(0, 0, out.width(), out.height());
    wallpaper.setColorAt(0, QColor(58, 96, 140));
    wallpaper.setColorAt(1, QColor(132, 84, 128));
    painter.fillRect(out.rect(), wallpaper);
    QImage pixels = window;
    pixels.setDevicePixelRatio(1);
    painter.drawImage(QPoint(margin.width(), margin.height()), pixels);
    return out;
}

bool save(const QImage& image, const QDir& dir, const QString& name)
{
    const QString path = dir.filePath(name);
    if (!image.save(path)) {
        std::fprintf(stderr, "render_editor: could not write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

void settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
        QCoreApplication::processEvents();
    }
}

// What the window shows, read back from its backing store.
QImage grab(ImageWindow& window)
{
    QWidget* shell = window.window();
    settle();
    shell->repaint();
    QPaintDevice* device = shell->backingStore()->paintDevice();
    if (!device || device->devType() != QInternal::Image)
        return {};
    return static_cast<QImage*>(device)->copy();
}

void setAppearance(bool dark)
{
    if (dark) {
        QPalette palette(QColor(58, 58, 60), QColor(36, 36, 38));
        palette.setColor(QPalette::WindowText, QColor(236, 236, 238));
        palette.setColor(QPalette::Text, QColor(236, 236, 238));
        palette.setColor(QPalette::ButtonText, QColor(236, 236, 238));
        palette.setColor(QPalette::Base, QColor(30, 30, 32));
        QApplication::setPalette(palette);
    } else {
        QApplication::setPalette(QApplication::style()->standardPalette());
    }
}

int renderAtProcessScale(const QDir& dir)
{
    const double ratio = QGuiApplication::primaryScreen()->devicePixelRatio();
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    auto preferences = std::make_shared<AppPreferences>(
        PreferencesStore::suite(QStringLiteral("com.kelpie.render-editor.1")));
    bool ok = true;
    for (bool dark : {false, true}) {
        // The windows of the last pass go before the appearance changes.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        setAppearance(dark);
        const QString suffix = QStringLiteral("-%1-%2x.png")
                                   .arg(dark ? QStringLiteral("dark") : QStringLiteral("light"))
                                   .arg(ratio);

        ImageWindow plain(annotated(sampleCrop(640, 400, ratio)), false, preferences);
        ok &= save(grab(plain), dir, QStringLiteral("editor-plain") + suffix);
        plain.canvas()->model().chooseTool(AnnotationTool::rectangle);
        ok &= save(grab(plain), dir, QStringLiteral("editor-plain-rectangle") + suffix);
        plain.close();

        std::unique_ptr<ImageWindow> screenshot(
            screenshotEditor(Rect(380, 260, 560, 340), ratio, preferences));
        ok &= save(grab(*screenshot), dir, QStringLiteral("editor-screenshot") + suffix);
        // Drawing: the markup row joins the tool bar and re-cropping stops.
        screenshot->canvas()->model().chooseTool(AnnotationTool::arrow);
        AnnotationState state;
        state.objects = {AnnotationObject(AnnotationTool::arrow,
                                          AnnotationStyle::initial(AnnotationTool::arrow, ratio),
                                          {500 * ratio, 120 * ratio}, {330 * ratio, 250 * ratio})};
        screenshot->document().commit(state);
        ok &= save(grab(*screenshot), dir, QStringLiteral("editor-screenshot-arrow") + suffix);
        screenshot->close();
        // A crop at the bottom edge puts the tool bar above it.
        screenshot.reset(screenshotEditor(Rect(60, 0, 700, 420), ratio, preferences));
        ok &= save(grab(*screenshot), dir, QStringLiteral("editor-screenshot-bottom") + suffix);
        screenshot->close();

        ImageWindow pinned(annotated(sampleCrop(420, 260, ratio)), true, preferences);
        ok &= save(onDesktop(grab(pinned), ratio), dir, QStringLiteral("editor-pinned") + suffix);
        pinned.toggleEditing();
        ok &= save(onDesktop(grab(pinned), ratio), dir,
                   QStringLiteral("editor-pinned-editing") + suffix);
        pinned.close();
    }
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    // A 1440 × 900 point screen at each scale.
    QTemporaryDir scratch;
    auto screenAt = [&scratch](QProcessEnvironment& environment, double scale) {
        const QString config = scratch.filePath(QStringLiteral("screen-%1.json").arg(scale));
        QFile file(config);
        const bool written = scratch.isValid() && file.open(QIODevice::WriteOnly)
            && file.write(
                   QStringLiteral("{\"screens\": [{\"name\": \"render\", \"x\": 0, \"y\": 0, "
                                  "\"width\": %1, \"height\": %2, \"logicalDpi\": 96, "
                                  "\"logicalBaseDpi\": 96, \"dpr\": 1}]}")
                       .arg(qRound(1440 * scale))
                       .arg(qRound(900 * scale))
                       .toUtf8())
                > 0;
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"),
                           QStringLiteral("offscreen:configfile=") + config);
        return written;
    };
    return kelpie::test::renderAtScales(argc, argv, "render_editor",
                                        QStringLiteral("editor-preview"), renderAtProcessScale,
                                        {1.0, 1.5, 2.0}, screenAt);
}
