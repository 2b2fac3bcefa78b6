#pragma once

#include "capture/WindowTarget.h"

#include <QImage>

#include <vector>

namespace kelpie::test {

// A made-up desktop to freeze: a wallpaper with three application windows,
// drawn at any device pixel ratio so 1× and 2× show the same scene.
struct DesktopFixture {
    QImage image;
    // The windows, front-most first, in view space (points, y up).
    std::vector<WindowTarget> windows;
};

DesktopFixture makeDesktopFixture(int widthPoints, int heightPoints, double devicePixelRatio);

// An image whose every pixel has its own colour: red counts columns, green
// counts rows, so a crop or a sample can be traced back to its position.
QImage makeCoordinateImage(int width, int height);

} // namespace kelpie::test
