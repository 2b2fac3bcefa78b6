#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QList>
#include <QRect>
#include <QSize>
#include <QStringList>

namespace kelpie {

// A picture a verification routine makes for itself: lines of dark text
// on a light ground, each line's box known, so that what recognition reads
// back can be compared with what was drawn.
struct FixturePicture {
    QImage image;
    // One box per line, in pixels of the picture (y down).
    QList<QRect> lines;
    QStringList texts;
    QFont font;

    // The box of `length` characters from `from` of line `line`.
    QRect span(int line, int from, int length) const;

    // `texts` drawn from `topLeft` down, `pixelSize` pixels high, `gap`
    // pixels between lines, in a plain sans-serif face.
    static FixturePicture textLines(QSize size, const QStringList& texts, QPoint topLeft,
                                    int pixelSize, int gap, QColor ground = Qt::white,
                                    QColor ink = QColor(0x1f, 0x1f, 0x1f));
};

} // namespace kelpie
