// render_editor_controls [DIR]: the editor's rows as PNG files to look at:
// the plain editor's tool, style and option rows for each kind of tool, and
// the screenshot editor's floating tool bar with its markup row, in the
// light and the dark appearance at 1× and 2×.
#include "canvas/AnnotationCanvas.h"
#include "editor/CoreAppearance.h"
#include "editor/CoreSurfaceView.h"
#include "editor/EditorControls.h"
#include "editor/FloatingControls.h"
#include "editor/ToolbarButton.h"
#include "tests/canvas/CanvasFixture.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>
#include <functional>

namespace {

using namespace kelpie;
using CoreAppearance::Appearance;

QPalette paletteFor(Appearance appearance)
{
    const QColor window = CoreAppearance::windowBackground.resolved(appearance);
    QPalette palette(window, window);
    if (appearance == Appearance::dark) {
        palette.setColor(QPalette::WindowText, Qt::white);
        palette.setColor(QPalette::Text, Qt::white);
        palette.setColor(QPalette::ButtonText, Qt::white);
        palette.setColor(QPalette::Base, QColor(30, 32, 31));
        palette.setColor(QPalette::Button, QColor(58, 60, 59));
    }
    return palette;
}

void write(QWidget& widget, const QString& directory, const QString& name)
{
    widget.adjustSize();
    QApplication::processEvents();
    for (double ratio : {1.0, 2.0}) {
        QImage image(widget.size() * ratio, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::transparent);
        widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        const QString path = QStringLiteral("%1/%2@%3x.png").arg(directory, name).arg(ratio);
        if (!image.save(path))
            std::fprintf(stderr, "could not write %s\n", qPrintable(path));
        else
            std::printf("%s\n", qPrintable(path));
    }
}

QImage sampleImage()
{
    QImage image(1200, 800, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(236, 238, 240));
    return image;
}

EditorStatusHooks quietStatus()
{
    EditorStatusHooks hooks;
    hooks.text = [] { return QString(); };
    hooks.set = [](const QString&) {};
    hooks.contextual = [] { return QString(); };
    return hooks;
}

// The plain editor's three rows on its surface, for each kind of tool.
void renderPlain(const QString& directory, const QString& suffix)
{
    test::MemoryStyleStore styles;
    AnnotationDocument document(sampleImage());
    CoreSurfaceView surface;
    auto* stack = new QVBoxLayout(&surface);
    stack->setContentsMargins(20, 12, 20, 12);
    stack->setSpacing(10);
    auto* canvas = new AnnotationCanvas(document, styles, false, &surface);
    canvas->resize(960, 640);
    canvas->hide();
    EditorControls controls(*canvas, document, EditorMode::plain, quietStatus(), &surface);
    controls.buildStyles();
    auto* undo = new QPushButton(QStringLiteral("撤销"), &surface);
    controls.appendToToolRow(undo);
    auto* redo = new QPushButton(QStringLiteral("重做"), &surface);
    controls.appendToToolRow(redo, 12);
    for (const char* title : {"钉住", "保存", "复制"})
        controls.appendToToolRow(new QPushButton(QString::fromUtf8(title), &surface));
    auto* spacer = new QWidget(&surface);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    controls.appendToToolRow(spacer);
    stack->addWidget(controls.toolRow());
    stack->addWidget(controls.styleRow());
    stack->addWidget(controls.optionRow());
    stack->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    surface.show();

    const std::vector<std::pair<AnnotationTool, std::function<void()>>> cases{
        {AnnotationTool::rectangle, [&] { controls.model().changeFill(1); }},
        {AnnotationTool::arrow, [] {}},
        {AnnotationTool::text, [&] { controls.model().changeTextStyle(true, false); }},
        {AnnotationTool::mask, [&] { controls.model().changeMaskEffect(1); }},
        {AnnotationTool::highlight, [] {}},
        {AnnotationTool::number, [] {}},
    };
    for (const auto& [tool, adjust] : cases) {
        controls.model().chooseTool(tool);
        adjust();
        controls.update();
        write(surface, directory, QStringLiteral("plain-%1-%2").arg(rawValue(tool), suffix));
    }
}

// The screenshot editor's tool bar and markup row in their floating panels.
void renderFloating(const QString& directory, const QString& suffix)
{
    test::MemoryStyleStore styles;
    AnnotationDocument document(sampleImage());
    QWidget host;
    auto* column = new QVBoxLayout(&host);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(12);
    auto* canvas = new AnnotationCanvas(document, styles, true, &host);
    canvas->hide();
    EditorControls controls(*canvas, document, EditorMode::screenshot, quietStatus(), &host);
    controls.buildStyles();
    FloatingToolButtons buttons;
    const auto icon = [&](ControlSymbol symbol, const QString& tip) {
        auto* button = new ToolbarButton(QString(), ControlImage::symbol(symbol), &host);
        button->setToolTip(tip);
        return button;
    };
    buttons.undo = icon(ControlSymbol::arrowUturnBackward, QStringLiteral("撤销（Ctrl+Z）"));
    buttons.redo = icon(ControlSymbol::arrowUturnForward, QStringLiteral("重做（Ctrl+Shift+Z）"));
    buttons.pin = new ToolbarButton(QStringLiteral("钉住"), &host);
    buttons.save = new ToolbarButton(QStringLiteral("保存"), &host);
    buttons.primary = new ToolbarButton(QStringLiteral("复制"), &host);
    buttons.close = new ToolbarButton(QString(), &host);
    controls.configureFloatingTools(buttons);
    controls.buildMarkupOptions();
    controls.model().chooseTool(AnnotationTool::arrow);
    controls.update();
    controls.updateMarkupOptions(true);

    for (auto [rows, kind] :
         {std::pair{std::vector<QWidget*>{controls.toolRow()},
                    FloatingControls::Kind::primaryToolbar},
          std::pair{std::vector<QWidget*>{controls.markupRow()}, FloatingControls::Kind::panel}}) {
        auto* panel = new FloatingControls(rows, kind, &host);
        panel->setSurfaceCornerRadius(20);
        const QSizeF size = panel->panelSize(2000);
        panel->setFixedSize(size.toSize());
        panel->fitContent();
        column->addWidget(panel, 0, Qt::AlignLeft);
    }
    host.show();
    write(host, directory, QStringLiteral("floating-%1").arg(suffix));
}

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QString directory = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(directory);
    for (Appearance appearance : {Appearance::light, Appearance::dark}) {
        QApplication::setPalette(paletteFor(appearance));
        const QString suffix
            = appearance == Appearance::dark ? QStringLiteral("dark") : QStringLiteral("light");
        renderPlain(directory, suffix);
        renderFloating(directory, suffix);
    }
    return 0;
}
