#pragma once

#include <QImage>
#include <QSize>
#include <QSizeF>
#include <QString>

class QPalette;

namespace kelpie {

// Clipboard text pinned as a picture: the text in the system font at 18
// points, wrapped at 650 points, on the text background colour with a
// 20-point margin.
namespace ClipboardTextImage {

inline constexpr double fontSize = 18;
inline constexpr double wrapWidth = 650;
inline constexpr double wrapHeight = 4000;
inline constexpr int margin = 20;

// The picture's size in points for text that measures `measured`: 40 points
// larger, at least 180 × 80 and at most 700 × 4040.
QSize sizeFor(QSizeF measured);

// The picture at `devicePixelRatio`; a null image when `text` is empty or
// the picture cannot be made.
QImage render(const QString& text, const QPalette& palette, double devicePixelRatio);

} // namespace ClipboardTextImage
} // namespace kelpie
