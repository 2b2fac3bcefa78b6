#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QString>
#include <QStringList>

#include <vector>

namespace kelpie {

// Rows of monospaced text drawn as a terminal draws them: one type size,
// rows `pitch` pixels apart (3 pixels of blank between the ink of two rows
// at the default pitch), light on dark or dark on light. Word boxes are
// the typeset advances of each space-separated word, in image pixels.
struct TerminalScreen {
    struct Word {
        QString text;
        QRect box;
    };

    QImage image;
    std::vector<Word> words;
    QColor background;

    static TerminalScreen draw(const QStringList& rows, bool dark, int pitch = 16)
    {
        return draw(rows, dark, pitch, 0);
    }

    // The same, each character drawn at the left of its own cell `cell`
    // pixels wide (two for a Chinese character), as a terminal draws them.
    // No word boxes are kept.
    static TerminalScreen drawInCells(const QStringList& rows, bool dark, int pitch, int cell)
    {
        return draw(rows, dark, pitch, cell);
    }

private:
    static TerminalScreen draw(const QStringList& rows, bool dark, int pitch, int cell)
    {
        TerminalScreen screen;
        screen.background = dark ? QColor(0x1e, 0x1e, 0x2e) : QColor(Qt::white);
        screen.image = QImage(360, 24 + pitch * int(rows.size()), QImage::Format_RGB32);
        screen.image.fill(screen.background);
        QFont font(QStringLiteral("DejaVu Sans Mono"));
        font.setPixelSize(13);
        const QFontMetrics metrics(font);
        QPainter painter(&screen.image);
        painter.setFont(font);
        painter.setPen(dark ? QColor(0xcd, 0xd6, 0xf4) : QColor(0x20, 0x20, 0x20));
        for (int r = 0; r < rows.size(); ++r) {
            const int baseline = 12 + r * pitch + metrics.ascent();
            if (cell > 0) {
                int x = 8;
                for (const QChar c : rows[r]) {
                    painter.drawText(QPoint(x, baseline), QString(c));
                    x += c.unicode() >= 0x2E80 ? 2 * cell : cell;
                }
                continue;
            }
            painter.drawText(QPoint(8, baseline), rows[r]);
            int x = 8;
            for (const QString& word : rows[r].split(QLatin1Char(' '))) {
                const int width = metrics.horizontalAdvance(word);
                screen.words.push_back(
                    {word, QRect(x, baseline - metrics.ascent(), width, metrics.height())});
                x += width + metrics.horizontalAdvance(QLatin1Char(' '));
            }
        }
        return screen;
    }

public:
    const Word& word(const QString& text) const
    {
        for (const Word& w : words) {
            if (w.text == text)
                return w;
        }
        return words.front();
    }
};

} // namespace kelpie
