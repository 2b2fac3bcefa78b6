#pragma once

#include "text/TextAnalysis.h"
#include "text/TextRecognizer.h"

#include <QImage>
#include <QMutex>
#include <QMutexLocker>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWaitCondition>

#include <algorithm>
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
// painted out is not. It can hold every analysis until released, and fail.
class OracleRecognizer final : public TextRecognizer {
public:
    struct Word {
        QString text;
        QRect box; // image pixels
    };

    explicit OracleRecognizer(std::vector<Word> words) : m_words(std::move(words)) { }

    TextAnalysis analyze(const QImage& image, const RecognitionCancellation& cancellation) override
    {
        {
            QMutexLocker lock(&m_mutex);
            m_images.push_back(image);
            ++m_started;
            m_changed.wakeAll();
            while (m_holding && !cancellation.isCancelled())
                m_changed.wait(&m_mutex, 5);
            if (m_failing)
                throw Failure("the recogniser cannot work");
        }
        cancellation.throwIfCancelled();
        TextAnalysis analysis;
        for (const Word& word : m_words) {
            if (inked(image, word.box))
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

    // Whether a box shows ink: pixels far from white.
    static bool inked(const QImage& image, const QRect& box)
    {
        const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
        int count = 0;
        const QRect inside = box.intersected(rgb.rect());
        for (int y = inside.top(); y <= inside.bottom(); ++y) {
            for (int x = inside.left(); x <= inside.right(); ++x) {
                const QRgb p = rgb.pixel(x, y);
                if (255 - std::min({qRed(p), qGreen(p), qBlue(p)}) > 90)
                    ++count;
            }
        }
        return count >= 4;
    }

private:
    const std::vector<Word> m_words;
    mutable QMutex m_mutex;
    QWaitCondition m_changed;
    bool m_holding = false;
    bool m_failing = false;
    int m_started = 0;
    std::vector<QImage> m_images;
};

} // namespace kelpie::test
