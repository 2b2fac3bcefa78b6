#pragma once

#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

#include <array>

namespace kelpie {

// What the display fixture host shows on every screen: a quiet background,
// one coloured square in each corner (so orientation and the full extent of
// a capture can be checked) and two lines of Chinese text in the middle
// for recognition.
namespace DisplayFixture {

// The corner squares' colours, clockwise from the top-left.
inline const std::array<QColor, 4> cornerColors{QColor(0xd0, 0x10, 0x10), QColor(0x10, 0xa0, 0x10),
                                                QColor(0xe0, 0xc0, 0x00), QColor(0x10, 0x30, 0xd0)};
// The side of a corner square in device pixels.
inline constexpr int cornerSide = 24;
inline const QColor background(0xf4, 0xf1, 0xea);

QStringList texts(); // "今天下午三点半", "图书馆门口见面"
QString windowTitle(); // "Kelpie · 双屏样本"

// The fixture for a screen of `pixels` device pixels at `scale` device
// pixels per point: text sized in points so it reads the same at every scale.
QImage draw(QSize pixels, double scale);

// Whether `image` shows the four corners in place: each corner's square
// holds its own colour (within a small tolerance for colour conversion) and
// ends exactly where it should.
bool cornersValid(const QImage& image);

} // namespace DisplayFixture
} // namespace kelpie
