// render_annotation_sample: draws a sample document that uses every tool and
// every mask kind onto a made-up screenshot and writes the composite as PNG,
// for a person to look at.
//
//   render_annotation_sample OUT.png [WIDTH HEIGHT]
#include "RendererSamples.h"
#include "annotation/AnnotationRenderer.h"

#include <QGuiApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() != 2 && arguments.size() != 4) {
        std::fprintf(stderr, "usage: render_annotation_sample OUT.png [WIDTH HEIGHT]\n");
        return 2;
    }
    QSize size(1200, 800);
    if (arguments.size() == 4)
        size = QSize(arguments[2].toInt(), arguments[3].toInt());
    if (size.width() < 800 || size.height() < 500) {
        std::fprintf(stderr, "render_annotation_sample: the sample needs at least 800 × 500\n");
        return 2;
    }
    const QImage base = kelpie::test::sampleScreenshot(size);
    const auto composite
        = kelpie::AnnotationRenderer::render(base, kelpie::test::sampleObjects(size));
    if (!composite) {
        std::fprintf(stderr, "render_annotation_sample: the sample document did not render\n");
        return 1;
    }
    if (!composite->save(arguments[1], "PNG")) {
        std::fprintf(stderr, "render_annotation_sample: cannot write %s\n",
                     qPrintable(arguments[1]));
        return 1;
    }
    return 0;
}
