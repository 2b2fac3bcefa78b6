#pragma once

#include "annotation/AnnotationObject.h"
#include "annotation/AnnotationRenderer.h"
#include "text/TextAnalysis.h"
#include "text/TextRecognizer.h"

#include <QFont>
#include <QPainter>

#include <QHash>
#include <QImage>
#include <QMutex>
#include <QMutexLocker>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWaitCondition>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

namespace kelpie::test {

// A recognised line drawn at (x, y) in image pixels: every character
// `advance` wide, words split at spaces, a space as wide as a character.
// Han characters are written without spaces and come out as one word.
inline TextAnalysis::Line recognisedLine(const QString& text, double x, double y,
                                         double advance = 10, double height = 20)
{
    TextAnalysis::Line line;
    line.confidence = 90;
    double at = x;
    TextAnalysis::Word word;
    const auto endWord = [&] {
        if (word.characters.empty())
            return;
        word.box
            = Rect(word.characters.front().box.minX(), y,
                   word.characters.back().box.maxX() - word.characters.front().box.minX(), height);
        line.words.push_back(word);
        word = {};
    };
    for (const QChar c : text) {
        if (c == QLatin1Char(' ')) {
            endWord();
        } else {
            word.text += c;
            word.characters.push_back({QString(c), Rect(at, y, advance, height)});
        }
        at += advance;
    }
    endWord();
    QStringList texts;
    for (const auto& w : line.words)
        texts.append(w.text);
    line.text = texts.join(QLatin1Char(' '));
    line.box = Rect(x, y, at - x, height);
    return line;
}

// Lines 30 pixels apart from the top-left corner (10, 10).
inline std::shared_ptr<const TextAnalysis> recognisedLines(const QStringList& texts)
{
    auto analysis = std::make_shared<TextAnalysis>();
    for (int i = 0; i < texts.size(); ++i)
        analysis->lines.push_back(recognisedLine(texts[i], 10, 10 + 30 * i));
    return analysis;
}

// A recogniser that reads exactly the words it is told about wherever
// their ink is still visible in the image it is given: a word is read when
// at least a few pixels of its box differ plainly from white. So it shows
// what recognition would give away: ink left under a mask is "read", a word
// painted out is not. It can hold every analysis until released (and then
// still answers, cancelled or not), and fail.
class OracleRecognizer final : public TextRecognizer {
public:
    struct Word {
        QString text;
        QRect box; // image pixels
    };

    // `contrast`: how far from the surrounding colour a trace must be to be
    // read; lower reads fainter traces.
    explicit OracleRecognizer(std::vector<Word> words, int contrast = 90)
        : m_words(std::move(words)), m_contrast(contrast)
    {
    }

    TextAnalysis analyze(const QImage& image, const RecognitionCancellation&) override
    {
        {
            QMutexLocker lock(&m_mutex);
            m_images.push_back(image);
            ++m_started;
            m_changed.wakeAll();
            // Deaf to cancellation while held: what it returns then is late.
            while (m_holding)
                m_changed.wait(&m_mutex);
            if (m_failing)
                throw Failure("the recogniser cannot work");
        }
        TextAnalysis analysis;
        for (const Word& word : m_words) {
            if (inked(image, word.box, m_contrast))
                analysis.lines.push_back(recognisedLine(word.text, word.box.x(), word.box.y(),
                                                        double(word.box.width()) / word.text.size(),
                                                        word.box.height()));
        }
        return analysis;
    }

    void hold()
    {
        QMutexLocker lock(&m_mutex);
        m_holding = true;
    }
    void release()
    {
        QMutexLocker lock(&m_mutex);
        m_holding = false;
        m_changed.wakeAll();
    }
    void setFailing(bool failing)
    {
        QMutexLocker lock(&m_mutex);
        m_failing = failing;
    }
    int started() const
    {
        QMutexLocker lock(&m_mutex);
        return m_started;
    }
    std::vector<QImage> images() const
    {
        QMutexLocker lock(&m_mutex);
        return m_images;
    }

    // Whether a box shows ink: a few pixels plainly unlike the colour that
    // fills most of it. A flat patch, whatever its colour, reads as nothing.
    static bool inked(const QImage& image, const QRect& box, int contrast = 90)
    {
        const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
        const QRect inside = box.intersected(rgb.rect());
        QHash<QRgb, int> counts;
        for (int y = inside.top(); y <= inside.bottom(); ++y) {
            for (int x = inside.left(); x <= inside.right(); ++x)
                ++counts[rgb.pixel(x, y)];
        }
        QRgb common = qRgb(255, 255, 255);
        int most = 0;
        for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
            if (it.value() > most) {
                most = it.value();
                common = it.key();
            }
        }
        int unlike = 0;
        for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
            const QRgb p = it.key();
            const int difference
                = std::max({std::abs(qRed(p) - qRed(common)), std::abs(qGreen(p) - qGreen(common)),
                            std::abs(qBlue(p) - qBlue(common))});
            if (difference > contrast)
                unlike += it.value();
        }
        return unlike >= 4;
    }

private:
    const std::vector<Word> m_words;
    const int m_contrast;
    mutable QMutex m_mutex;
    QWaitCondition m_changed;
    bool m_holding = false;
    bool m_failing = false;
    int m_started = 0;
    std::vector<QImage> m_images;
};

// Two words drawn black on white, far apart.
struct Scene {
    QImage base;
    QRect secret;  // ink of "SECRET", image pixels
    QRect visible; // ink of "PUBLIC"

    int height() const { return base.height(); }
};

inline QRect inkBox(const QImage& image, const QRect& within)
{
    QRect box;
    for (int y = within.top(); y <= within.bottom(); ++y) {
        for (int x = within.left(); x <= within.right(); ++x) {
            if (qGray(image.pixel(x, y)) < 160)
                box = box.united(QRect(x, y, 1, 1));
        }
    }
    return box;
}

inline Scene makeScene()
{
    Scene scene;
    scene.base = QImage(480, 220, QImage::Format_RGB32);
    scene.base.fill(Qt::white);
    QPainter painter(&scene.base);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(22);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(40, 60, QStringLiteral("SECRET"));
    painter.drawText(40, 180, QStringLiteral("PUBLIC"));
    painter.end();
    scene.secret = inkBox(scene.base, QRect(0, 0, 480, 110));
    scene.visible = inkBox(scene.base, QRect(0, 110, 480, 110));
    return scene;
}

// A rectangle mask whose bounds are `box` (image pixels).
inline AnnotationObject maskOver(const QRectF& box, int imageHeight, MaskEffect effect,
                          double strength = 16)
{
    AnnotationStyle style = AnnotationStyle::initial(AnnotationTool::mask, 1);
    style.maskEffect = effect;
    style.maskStrength = strength;
    return AnnotationObject(AnnotationTool::mask, style, {box.left(), imageHeight - box.bottom()},
                            {box.right(), imageHeight - box.top()});
}

inline AnnotationObject note(QPointF topLeft, int imageHeight)
{
    AnnotationStyle style = AnnotationStyle::initial(AnnotationTool::text, 1);
    style.color = AnnotationColor::palette[6];
    style.fontSize = 18;
    return AnnotationObject(AnnotationTool::text, style, {topLeft.x(), imageHeight - topLeft.y()},
                            {topLeft.x() + 120, imageHeight - topLeft.y() - 30}, {}, 0,
                            QStringLiteral("NOTE"));
}

// Where an object's ink lands on the scene.
inline QRect drawnBox(const Scene& scene, const AnnotationObject& object)
{
    QImage blank(scene.base.size(), QImage::Format_RGB32);
    blank.fill(Qt::white);
    const auto drawn = AnnotationRenderer::render(blank, {object});
    return drawn ? inkBox(drawn->convertToFormat(QImage::Format_RGB32), drawn->rect()) : QRect();
}


// Collects every message logged while it lives, so that a test can show
// that recognised text never reaches a log. One at a time.
class LogCapture {
public:
    LogCapture() : m_previous(qInstallMessageHandler(&LogCapture::capture)) { current() = this; }
    ~LogCapture()
    {
        qInstallMessageHandler(m_previous);
        current() = nullptr;
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Whether any message so far quotes one of `words`.
    bool quotesAny(const QStringList& words) const
    {
        QMutexLocker lock(&m_mutex);
        for (const QString& message : m_messages) {
            for (const QString& word : words) {
                if (message.contains(word))
                    return true;
            }
        }
        return false;
    }

private:
    static LogCapture*& current()
    {
        static LogCapture* capture = nullptr;
        return capture;
    }
    static void capture(QtMsgType, const QMessageLogContext&, const QString& message)
    {
        if (LogCapture* capture = current()) {
            QMutexLocker lock(&capture->m_mutex);
            capture->m_messages.append(message);
        }
    }

    QtMessageHandler m_previous;
    mutable QMutex m_mutex;
    QStringList m_messages;
};

} // namespace kelpie::test
