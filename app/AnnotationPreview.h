#pragma once

#include "annotation/AnnotationObject.h"

#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

namespace kelpie {

// The annotated sample of a fixture image: a real editor (or pin) window on
// the fixture with one mark of the common kinds drawn on it, written to a
// PNG for a person to look at.
namespace AnnotationPreview {

struct Variant {
    // Shown as a pin instead of the plain editor.
    bool pinned = false;
    // The arrow is bent into a curve.
    bool curvedArrow = false;
};

// The sample marks for an image of `size` pixels (annotation space: y up):
// a rectangle, an arrow pointing into it, a numbered badge, a line of text
// on a box and a pixelating mask, all inside the image.
QList<AnnotationObject> sampleObjects(QSize size, bool curvedArrow);

// The window showing the sample over `fixture`, as drawn on screen; null
// when the window cannot be made or drawn.
QImage render(const QImage& fixture, const Variant& variant);

// render() written as PNG to `path`; false when it cannot be made or written.
bool renderTo(const QImage& fixture, const QString& path, const Variant& variant);

} // namespace AnnotationPreview
} // namespace kelpie
