// ocr_file: prints the recogniser's lines for an image file, with their
// confidence and box, to look at how one picture reads.
//
//   ocr_file IMAGE
#include "platform/TesseractTextRecognizer.h"
#include "text/RecognitionCancellation.h"

#include <QGuiApplication>
#include <QImage>

#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: ocr_file IMAGE\n");
        return 2;
    }
    const QImage image(QString::fromLocal8Bit(argv[1]));
    if (image.isNull()) {
        std::fprintf(stderr, "ocr_file: cannot read %s\n", argv[1]);
        return 1;
    }
    kelpie::TesseractTextRecognizer recognizer;
    const kelpie::TextAnalysis analysis
        = recognizer.analyze(image, kelpie::RecognitionCancellation());
    for (const kelpie::TextAnalysis::Line& line : analysis.lines)
        std::printf("[%s] %.0f box %.0f,%.0f %.0fx%.0f\n", qPrintable(line.text), line.confidence,
                    line.box.minX(), line.box.minY(), line.box.width(), line.box.height());
    return 0;
}
