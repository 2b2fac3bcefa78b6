#pragma once

#include "editor/ControlImage.h"

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QSizeF>

namespace kelpie {

// Control images for the toolkit's standard buttons, which take icons
// rather than drawings: a template image is coloured with the tint the
// button's text has, other images are drawn as they are.
namespace ControlIcon {

// The image drawn into `size` points at `ratio` device pixels per point.
QImage render(const ControlImage& image, QSizeF size, const QColor& tint, double ratio);

// An icon holding the image at 1× and 2×.
QIcon make(const ControlImage& image, QSizeF size, const QColor& tint);

} // namespace ControlIcon
} // namespace kelpie
