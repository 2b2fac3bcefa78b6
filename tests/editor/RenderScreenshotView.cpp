// Developer command: renders the screenshot editor's view over a made-up
// desktop, with a stand-in canvas showing the crop and the two floating
// panels, in the states worth looking at, at 1×, 1.5× and 2×, light and dark.
//
//   render_screenshot_view [OUTPUT_DIR]
//
// Each scale runs in a process of its own whose screen has that scale, and
// the pictures are read from the window's backing store: exactly the pixels
// a screen would show.

#include "../overlay/OverlayFixture.h"
#include "editor/ControlImage.h"
#include "editor/CoreSurfaceView.h"
#include "editor/FloatingControls.h"
#include "editor/ScreenshotChromeLayout.h"
#include "editor/ScreenshotSpace.h"
#include "editor/ScreenshotStatus.h"
#include "editor/ScreenshotView.h"
#include "editor/StyleSlider.h"
#include "editor/ToolbarButton.h"
#include "tests/support/RenderAtScales.h"

#include <QApplication>
#include <QBackingStore>
#include <QDir>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QScreen>

#include <cstdio>
#include <memory>

using namespace kelpie;

namespace {

constexpr int screenWidth = 1440;
constexpr int screenHeight = 900;

// Stands in for the annotation canvas: the crop of the frozen screen,
// scaled into the canvas, with one marked-up rectangle on it.
class CropCanvas : public QWidget {
public:
    CropCanvas(const QImage& crop, QWidget* parent) : QWidget(parent), m_crop(crop) { }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.drawImage(QRectF(rect()), m_crop);
        painter.setPen(QPen(QColor(230, 60, 50), 4));
        painter.drawRoundedRect(
            QRectF(width() * 0.18, height() * 0.3, width() * 0.4, height() * 0.28), 6, 6);
    }

private:
    QImage m_crop;
};

QWidget* row(const std::vector<QWidget*>& items)
{
    auto* widget = new QWidget;
    auto* layout = new QHBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    for (QWidget* item : items)
        layout->addWidget(item);
    return widget;
}

ToolbarButton* button(const QString& title, ControlSymbol symbol, bool on = false)
{
    auto* b = new ToolbarButton(title, ControlImage::symbol(symbol));
    b->configureToolbarStyle();
    b->setCheckable(on);
    b->setChecked(on);
    return b;
}

QWidget* toolRow()
{
    auto* done
        = new ToolbarButton(QStringLiteral("完成"), ControlImage::symbol(ControlSymbol::checkmark));
    done->configureToolbarStyle();
    done->setPrimary(true);
    return row({button(QStringLiteral("选择"), ControlSymbol::cursorArrow),
                button(QStringLiteral("箭头"), ControlSymbol::arrowUpRight, true),
                button(QStringLiteral("矩形"), ControlSymbol::rectangle),
                button(QStringLiteral("文字"), ControlSymbol::textFormat),
                button(QStringLiteral("画笔"), ControlSymbol::pencil),
                button(QStringLiteral("遮挡"), ControlSymbol::rectangleFill),
                button(QString(), ControlSymbol::arrowUturnBackward),
                button(QString(), ControlSymbol::arrowUturnForward),
                button(QStringLiteral("钉住"), ControlSymbol::pin),
                button(QStringLiteral("保存"), ControlSymbol::squareAndArrowDown), done});
}

QWidget* markupRow()
{
    auto* slider = new StyleSlider;
    slider->setOrientation(Qt::Horizontal);
    slider->setRange(1, 80);
    slider->setValue(6);
    slider->setFixedWidth(140);
    return row({button(QStringLiteral("实心"), ControlSymbol::arrowUpRight, true),
                button(QStringLiteral("空心"), ControlSymbol::lineDiagonal),
                button(QStringLiteral("双头"), ControlSymbol::arrowUpRight), slider});
}

struct Scene {
    QString name;
    Rect region;
    bool markup = false;
    bool dark = false;
    QString status;
    // A re-crop dragged from the first point to the second, left running.
    std::optional<std::pair<Point, Point>> recrop;
};

std::vector<Scene> scenes()
{
    const Rect middle(300, 260, 620, 380);
    return {
        {QStringLiteral("editor"), middle, false, false, {}, {}},
        {QStringLiteral("editor-dark"), middle, false, true, {}, {}},
        {QStringLiteral("markup"), middle, true, false, QStringLiteral("图片已复制"), {}},
        {QStringLiteral("markup-dark"), middle, true, true, QStringLiteral("复制失败，请重试"), {}},
        // On the bottom edge: panels above, the badge beside the crop.
        {QStringLiteral("bottom-dark"), Rect(160, 0, 560, 330), true, true, {}, {}},
        {QStringLiteral("whole-screen"),
         Rect(0, 0, screenWidth, screenHeight),
         true,
         false,
         {},
         {}},
        {QStringLiteral("recrop"),
         middle,
         false,
         false,
         {},
         std::pair{Point{920, 640}, Point{1010, 700}}},
    };
}

void settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
        QCoreApplication::processEvents();
    }
}

void mouse(QWidget* view, QEvent::Type type, Point at, Qt::MouseButtons buttons)
{
    const QPointF p = ScreenshotSpace::widgetPoint(at, view->height());
    QMouseEvent event(type, p, view->mapToGlobal(p), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(view, &event);
}

QImage render(const QImage& screen, double ratio, const Scene& scene)
{
    const QRect pixels
        = QRectF(scene.region.minX() * ratio, (screenHeight - scene.region.maxY()) * ratio,
                 scene.region.width() * ratio, scene.region.height() * ratio)
              .toAlignedRect();
    ScreenshotPresentation presentation{screen, Rect(0, 0, screenWidth, screenHeight), scene.region,
                                        1, true};
    auto view = std::make_unique<ScreenshotView>(
        presentation, Size{double(pixels.width()), double(pixels.height())});
    view->setWindowFlag(Qt::FramelessWindowHint);
    if (scene.dark) {
        QPalette palette;
        palette.setColor(QPalette::Window, QColor(36, 38, 37));
        palette.setColor(QPalette::WindowText, QColor(230, 232, 228));
        palette.setColor(QPalette::Base, QColor(28, 30, 29));
        palette.setColor(QPalette::Text, QColor(230, 232, 228));
        palette.setColor(QPalette::Button, QColor(50, 52, 51));
        palette.setColor(QPalette::ButtonText, QColor(230, 232, 228));
        view->setPalette(palette);
    }
    auto* canvas = new CropCanvas(screen.copy(pixels), view.get());
    view->setImageView(canvas);
    view->installBorder();

    ScreenshotChromeParts parts;
    parts.canvas = canvas;
    parts.markupRowVisible = scene.markup;
    auto makePanel = [&](QWidget* rows, FloatingControls::Kind kind, FloatingControls** content) {
        auto* panel = new CoreSurfaceView(view.get());
        panel->setCornerRadius(20);
        panel->setBordered(true);
        *content = new FloatingControls({rows}, kind, panel);
        return panel;
    };
    parts.toolbarPanel
        = makePanel(toolRow(), FloatingControls::Kind::primaryToolbar, &parts.toolbarContent);
    parts.parametersPanel
        = makePanel(markupRow(), FloatingControls::Kind::panel, &parts.parametersContent);
    parts.status = new ScreenshotStatus(view.get());
    parts.hidesRoutineStatus = scene.status.isEmpty();
    if (!scene.status.isEmpty())
        parts.status->setText(scene.status);
    view->setChrome({parts.toolbarPanel, parts.parametersPanel, parts.status});
    ScreenshotView* v = view.get();
    view->onLayout = [v, &parts] { layoutScreenshot(*v, parts); };
    parts.status->onChange = [v, &parts] { layoutScreenshot(*v, parts); };
    view->resize(screenWidth, screenHeight);
    view->show();
    layoutScreenshot(*view, parts);
    settle();
    if (scene.recrop) {
        mouse(v, QEvent::MouseButtonPress, scene.recrop->first, Qt::LeftButton);
        mouse(v, QEvent::MouseMove, scene.recrop->second, Qt::LeftButton);
        settle();
    }
    view->repaint();
    QPaintDevice* device = view->backingStore()->paintDevice();
    if (!device || device->devType() != QInternal::Image)
        return {};
    QImage shown = static_cast<QImage*>(device)->copy();
    view->onLayout = nullptr;
    parts.status->onChange = nullptr;
    return shown;
}

bool save(const QImage& image, const QDir& dir, const QString& name)
{
    const QString path = dir.filePath(name);
    if (image.isNull() || !image.save(path)) {
        std::fprintf(stderr, "render_screenshot_view: could not write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

int renderAtProcessScale(const QDir& dir)
{
    const double ratio = QGuiApplication::primaryScreen()->devicePixelRatio();
    const QImage screen = test::makeDesktopFixture(screenWidth, screenHeight, ratio).image;
    const QString suffix = QStringLiteral("-%1x.png").arg(ratio);
    bool ok = true;
    for (const Scene& scene : scenes())
        ok &= save(render(screen, ratio, scene), dir, scene.name + suffix);
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    return kelpie::test::renderAtScales(argc, argv, "render_screenshot_view",
                                        QStringLiteral("screenshot-view-preview"),
                                        renderAtProcessScale);
}
