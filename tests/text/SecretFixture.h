#pragma once

#include "annotation/AnnotationDocument.h"
#include "text/TextAnalysis.h"

#include <QImage>

#include <QString>

namespace kelpie::SecretFixture {

// A recognised line as a fixed-pitch recogniser would report it: every
// character `advance` pixels wide from `x`, `height` high from `y` (image
// space, top-left origin), words split at single spaces.
inline TextAnalysis::Line line(const QString& text, double x, double y, double advance = 8,
                               double height = 14)
{
    TextAnalysis::Line result;
    result.confidence = 90;
    result.box = Rect::null();
    bool startWord = true;
    double left = x;
    const QList<uint> points = text.toUcs4();
    for (uint point : points) {
        const char32_t c = point;
        if (c == U' ') {
            startWord = true;
            left += advance;
            continue;
        }
        if (startWord)
            result.words.push_back({QString(), Rect::null(), {}});
        startWord = false;
        TextAnalysis::Word& word = result.words.back();
        const TextAnalysis::Character character{QString::fromUcs4(&c, 1),
                                                Rect(left, y, advance - 1, height)};
        word.characters.push_back(character);
        word.text += character.text;
        word.box = word.box.united(character.box);
        result.box = result.box.united(character.box);
        left += advance;
    }
    QStringList words;
    for (const TextAnalysis::Word& word : result.words)
        words.append(word.text);
    result.text = words.join(QLatin1Char(' '));
    return result;
}

// A 400 × 200 screenshot whose recognised text holds two secrets: a
// labelled password on the first row and an e-mail address on the third.
struct Scene {
    QImage image = [] {
        QImage result(400, 200, QImage::Format_ARGB32_Premultiplied);
        result.fill(Qt::white);
        return result;
    }();
    AnnotationDocument document{image};
    TextAnalysis analysis = [] {
        TextAnalysis result;
        result.lines.push_back(line(QStringLiteral("password: s3cret99"), 10, 10));
        result.lines.push_back(line(QStringLiteral("nothing to see"), 10, 40));
        result.lines.push_back(line(QStringLiteral("mail a.b@example.com"), 10, 70));
        return result;
    }();
};

} // namespace kelpie::SecretFixture
