// render_canvas [DIR]: the canvas in its main states (a selected rectangle,
// a selected curved arrow, a text being typed, compact mode) at 1× and 2×,
// written as PNG files to look at.
#include "CanvasFixture.h"
#include "canvas/AnnotationCanvas.h"
#include "canvas/AnnotationTextView.h"

#include <QApplication>
#include <QDir>
#include <QPainter>

#include <cstdio>

namespace {

using namespace kelpie;

QImage sampleBase()
{
    QImage image(480, 320, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    painter.fillRect(image.rect(), QColor(246, 246, 248));
    painter.fillRect(QRect(0, 0, 480, 36), QColor(220, 224, 232));
    painter.setPen(QColor(40, 40, 48));
    for (int i = 0; i < 8; ++i)
        painter.drawText(QPointF(24, 70 + 28 * i),
                         QStringLiteral("Line %1 of a captured window 截图").arg(i));
    return image;
}

AnnotationObject object(AnnotationTool tool, Rect box)
{
    return AnnotationObject(tool, AnnotationStyle::initial(tool, 1), box.origin,
                            {box.maxX(), box.maxY()});
}

void write(AnnotationCanvas& canvas, const QString& directory, const QString& name)
{
    for (double ratio : {1.0, 2.0}) {
        const QString path = QStringLiteral("%1/%2@%3x.png").arg(directory, name).arg(ratio);
        if (!canvas.grabAt(ratio).save(path))
            std::fprintf(stderr, "could not write %s\n", qPrintable(path));
        else
            std::printf("%s\n", qPrintable(path));
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QString directory = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(directory);

    test::MemoryStyleStore styles;
    AnnotationDocument document(sampleBase());
    AnnotationState state;
    AnnotationObject arrow = object(AnnotationTool::arrow, Rect(250, 60, 160, 120));
    arrow.curveControl = Point{300, 200};
    AnnotationObject mask = object(AnnotationTool::mask, Rect(30, 40, 150, 30));
    mask.style.maskEffect = MaskEffect::pixelate;
    state.objects = {object(AnnotationTool::rectangle, Rect(20, 150, 200, 90)), arrow, mask};
    document.commit(state);

    AnnotationCanvas canvas(document, styles, false);
    canvas.resize(520, 340);
    canvas.show();
    canvas.model().select(state.objects[0].id());
    write(canvas, directory, QStringLiteral("canvas-rectangle"));
    canvas.model().select(arrow.id());
    write(canvas, directory, QStringLiteral("canvas-arrow"));
    canvas.model().chooseTool(AnnotationTool::text);
    canvas.model().beginTextEditing(std::nullopt, {260, 140});
    if (AnnotationTextView* view = canvas.textEditor())
        view->setText(QStringLiteral("今天 typed in place"));
    write(canvas, directory, QStringLiteral("canvas-text"));
    canvas.model().cancelTextEditing();

    AnnotationCanvas compact(document, styles, true);
    compact.resize(520, 340);
    compact.show();
    compact.model().select(state.objects[0].id());
    write(compact, directory, QStringLiteral("canvas-compact"));
    return 0;
}
