#pragma once

#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>

#include <vector>

namespace kelpie {

// A generated image whose text is known exactly: user-interface text drawn
// with the project's CJK font, as it appears in screenshots at a scale of
// one (small sizes, anti-aliased, light and dark panels, coloured buttons).
// The recogniser's tests and its benchmark read the same images.
struct TextFixture {
    struct Line {
        QString text;
        // Where the line was drawn, in image pixels (top-left origin).
        QRect box;
    };

    QString name;
    QImage image;
    std::vector<Line> lines;

    // A few short English interface strings.
    static TextFixture englishInterface();
    // Two simplified Chinese sentences: "今天下午三点半" and "图书馆门口见面".
    static TextFixture simplifiedChinese();
    // Chinese and English in one line, separated by spaces as they are typed.
    static TextFixture mixedLines();
    // Traditional Chinese drawn with the traditional glyph set.
    static TextFixture traditionalChinese();
    // Light text on a dark panel and white text on a coloured button.
    static TextFixture darkPanel();
    // A 1280 × 800 chat window in simplified Chinese.
    static TextFixture chineseScreen();
    // A 1920 × 1080 screen of 45 lines mixing English and Chinese.
    static TextFixture mixedScreen();

    // The two simplified Chinese sentences large, as in a heading or a
    // zoomed page (each of 24, 28, 36 and 48 pixels), on a plain light or
    // dark panel. Not among all(): their own tests read them.
    static std::vector<TextFixture> largeChinese();

    // Every fixture above, small ones first.
    static std::vector<TextFixture> all();
    static TextFixture named(const QString& name);

    // The expected texts, top to bottom.
    QStringList texts() const;
};

} // namespace kelpie
