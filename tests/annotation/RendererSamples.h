#pragma once

#include "annotation/AnnotationObject.h"

#include <QImage>
#include <QList>
#include <QSize>
#include <QSizeF>

#include <random>

namespace kelpie::test {

// A made-up screenshot to draw on: a window with a title bar, coloured
// panels, stripes and lines of text, so that masks and translucent marks
// have detail to work on. Deterministic for a given size.
QImage sampleScreenshot(QSize size);

// A document that uses every tool and every mask kind, laid out for a base
// of `size` (at least 800 × 500 to look right).
QList<AnnotationObject> sampleObjects(QSize size);

// `count` mixed shapes spread over `size`: rectangles (outlined, filled,
// rounded, dashed), ellipses, lines, straight and curved arrows, pen and
// highlight strokes, number badges.
QList<AnnotationObject> mixedShapes(QSize size, int count);

// `count` objects of every kind at random places on (and a little beyond)
// an image of `size`, with random valid styles: outlined, filled and dashed
// shapes, straight and curved arrows of every head, pen and highlight
// strokes, badges, text, and solid, pixelate and blur masks over rectangles
// and along brush paths. Deterministic for a given generator state.
QList<AnnotationObject> randomObjects(std::mt19937& random, QSize size, int count);

// A hand-drawn stroke sampled far finer than a pixel: `count` samples
// along a Lissajous figure through `size` with a zigzag on top (smooth bends
// and corners), each moved by up to `jitter` pixels at random.
QList<Point> jitteryStroke(int count, QSizeF size, double jitter, unsigned seed);

// A text object of `characters` Chinese characters at the top-left of an
// image `imageHeight` high, wrapped at 600 pixels.
AnnotationObject chineseText(int characters, double imageHeight);

} // namespace kelpie::test
