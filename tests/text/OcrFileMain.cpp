// ocr_file: prints the recogniser's lines for an image file, with their
// confidence and box, to look at how one picture reads.
//
//   ocr_file IMAGE
//   ocr_file --layout IMAGE OUT.png
//
// --layout prints the lines the layout analysis finds instead and writes
// the normalised image with their boxes drawn over it, and beside it each
// line as the recogniser is given it (OUT.png.N.png).
#include "platform/TesseractTextRecognizer.h"
#include "text/RecognitionCancellation.h"
#include "text/TextLayout.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>
#include <cstring>

namespace {

int showLayout(const QImage& image, const char* out)
{
    const QImage grey = kelpie::TextLayout::grey(image);
    const QImage normalized = kelpie::TextLayout::normalized(grey);
    QImage drawn = normalized.convertToFormat(QImage::Format_RGB32);
    QPainter painter(&drawn);
    int index = 0;
    for (const kelpie::TextLayout::Line& line :
         kelpie::TextLayout::analyse(normalized, kelpie::RecognitionCancellation())) {
        std::printf("line %d,%d %dx%d words %zu%s%s\n", line.box.x(), line.box.y(),
                    line.box.width(), line.box.height(), line.words.size(),
                    line.grid ? " grid" : "", line.narrow ? " narrow" : "");
        painter.setPen(Qt::red);
        painter.drawRect(line.box.adjusted(0, 0, -1, -1));
        painter.setPen(Qt::blue);
        for (const QRect& word : line.words)
            painter.drawRect(word.adjusted(0, 0, -1, -1));
        kelpie::TextLayout::lineImage(grey, line.box,
                                      kelpie::TesseractTextRecognizer::Options{}.minimumLineHeight)
            .image.save(QStringLiteral("%1.%2.png").arg(QString::fromLocal8Bit(out)).arg(index++));
    }
    painter.end();
    return drawn.save(QString::fromLocal8Bit(out)) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const bool layout = argc == 4 && std::strcmp(argv[1], "--layout") == 0;
    if (argc != 2 && !layout) {
        std::fprintf(stderr, "usage: ocr_file IMAGE | ocr_file --layout IMAGE OUT.png\n");
        return 2;
    }
    const char* path = layout ? argv[2] : argv[1];
    const QImage image(QString::fromLocal8Bit(path));
    if (image.isNull()) {
        std::fprintf(stderr, "ocr_file: cannot read %s\n", path);
        return 1;
    }
    if (layout)
        return showLayout(image, argv[3]);
    kelpie::TesseractTextRecognizer recognizer;
    const kelpie::TextAnalysis analysis
        = recognizer.analyze(image, kelpie::RecognitionCancellation());
    for (const kelpie::TextAnalysis::Line& line : analysis.lines)
        std::printf("[%s] %.0f box %.0f,%.0f %.0fx%.0f\n", qPrintable(line.text), line.confidence,
                    line.box.minX(), line.box.minY(), line.box.width(), line.box.height());
    return 0;
}
