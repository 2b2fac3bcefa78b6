#include "platform/TesseractTextRecognizer.h"

#include "tests/text/TextFixture.h"
#include "verification/DisplayFixture.h"

#include <QDir>
#include <QImage>

#include <gtest/gtest.h>

namespace {

using namespace kelpie;

// Plain Chinese sentences in large type, on light and dark panels, read
// exactly: every character, none lost to the layout, none misread because
// the line image was drawn bolder than the text.
TEST(LargeChinese, SentencesReadExactlyAtEverySize)
{
    TesseractTextRecognizer recognizer;
    for (const TextFixture& fixture : TextFixture::largeChinese()) {
        const TextAnalysis analysis = recognizer.analyze(fixture.image, RecognitionCancellation());
        QStringList texts;
        for (const TextAnalysis::Line& line : analysis.lines)
            texts.append(line.text);
        EXPECT_EQ(texts.join(QLatin1Char('\n')).toStdString(),
                  fixture.texts().join(QLatin1Char('\n')).toStdString())
            << fixture.name.toStdString();
    }
}

// The same sentences as drawn by another renderer (stored images, light and
// dark, 28 to 48 pixels), whose thinner strokes and softer edges a line
// image that doubles every contrast fattens into other characters (门
// read as 方).
TEST(LargeChinese, StoredImagesReadExactly)
{
    const QDir directory(QStringLiteral(KELPIE_LARGE_TEXT_DIR));
    const QStringList files = directory.entryList({QStringLiteral("*.png")}, QDir::Files);
    ASSERT_GE(files.size(), 4);
    TesseractTextRecognizer recognizer;
    for (const QString& file : files) {
        const QImage image(directory.filePath(file));
        ASSERT_FALSE(image.isNull()) << file.toStdString();
        QStringList texts;
        for (const TextAnalysis::Line& line :
             recognizer.analyze(image, RecognitionCancellation()).lines)
            texts.append(line.text);
        EXPECT_EQ(texts.join(QLatin1Char('\n')).toStdString(), "今天下午三点半\n图书馆门口见面")
            << file.toStdString();
    }
}

// The picture the display checks put on every screen, whole and cropped to
// its middle as a region capture would, at scales of 1 and 1.5.
TEST(LargeChinese, DisplayFixtureReadsExactly)
{
    TesseractTextRecognizer recognizer;
    for (const double scale : {1.0, 1.5, 2.0}) {
        const QImage screen = DisplayFixture::draw(
            QSize(int(1280 * scale), int(800 * scale)), scale);
        const QImage middle = screen.copy(screen.width() / 4, screen.height() / 4,
                                          screen.width() / 2, screen.height() / 2);
        for (const QImage& image : {screen, middle}) {
            QStringList texts;
            for (const TextAnalysis::Line& line :
                 recognizer.analyze(image, RecognitionCancellation()).lines)
                texts.append(line.text);
            EXPECT_EQ(texts.join(QLatin1Char('\n')).toStdString(),
                      DisplayFixture::texts().join(QLatin1Char('\n')).toStdString())
                << "scale " << scale << ", " << image.width() << " x " << image.height();
        }
    }
}

} // namespace
