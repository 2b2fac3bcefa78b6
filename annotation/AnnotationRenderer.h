#pragma once

#include "annotation/AnnotationObject.h"
#include "annotation/AnnotationObjectList.h"

#include <QImage>
#include <QList>
#include <QRect>
#include <QSize>
#include <QTransform>

#include <initializer_list>
#include <optional>

class QPainter;

namespace kelpie {

// Draws annotations and builds every composite of the system: the canvas
// preview, copy, save, pin and the input of text recognition.
namespace AnnotationRenderer {

// The base image with every object drawn on top, in list order: same pixel
// size as the base, 8-bit sRGB RGBA with premultiplied alpha
// (QImage::Format_RGBA8888_Premultiplied). Absent when the base is empty,
// when the composite cannot be allocated, or when any object cannot be drawn
// (an invalid style, a mask whose filter fails): a composite missing an
// object must never pass for the whole picture.
// The document's list is taken as it is; the initializer-list form makes a
// braced list, {} included, choose no other.
std::optional<QImage> render(const QImage& base, const AnnotationObjectList& objects);
std::optional<QImage> render(const QImage& base, const QList<AnnotationObject>& objects);
std::optional<QImage> render(const QImage& base, std::initializer_list<AnnotationObject> objects);

// The pixels of `imageRect` (image pixels: origin top-left, y down) of the
// composite render() makes of the same base and objects, pixel for pixel,
// without building the rest of it: for repainting part of a preview while
// an object moves. Only the objects that can reach the rectangle cost
// anything, and a pixelate or blur mask filters only the part of the
// picture under it that its cells or its blur reach from the rectangle
// (which may pull in more of what lies beneath, mask by mask).
//
// The rectangle is cut to the image; the result has the size of what is
// left (a null image when nothing is), in render()'s format and colour
// space. Absent exactly when render() would be, or when memory runs out.
std::optional<QImage> renderRegion(const QImage& base, const AnnotationObjectList& objects,
                                   const QRect& imageRect);

// renderRegion() written into `composite` at `imageRect`: `composite` must be
// a composite render() made of a base of this size (same size and format),
// and afterwards equals render(base, objects) inside the rectangle, while
// the rest of it is left as it was. False, with `composite` untouched, when
// it is not such an image or when renderRegion() would be absent.
bool repaintRegion(QImage& composite, const QImage& base, const AnnotationObjectList& objects,
                   const QRect& imageRect);

// The image pixels that drawing `object` may change on an image of
// `imageSize`, cut to the image (empty when it lies wholly outside):
// strokes with their caps, joins and heads, text that overflows its box,
// a pixel of antialiasing on every side. Whatever else in the picture the
// change may affect, through filter masks above it, is what
// spreadThroughFilters() adds.
QRect paintedRect(const AnnotationObject& object, const QSize& imageSize);

// `changed` (image pixels) grown through the pixelate and blur masks of
// `objects`: a mask whose filter reads any changed pixel changes its own
// pixels within that reach, which may in turn reach later masks. Cut to the
// image; empty when `changed` is. Conservative: where the change lies in the
// list relative to the masks is not considered. A canvas that moves an
// object repaints spreadThroughFilters(objects, old painted ∪ new painted).
QRect spreadThroughFilters(const AnnotationObjectList& objects, const QRect& changed,
                           const QSize& imageSize);

// Draws one object. The painter's coordinates must be annotation space
// (y up, one unit per base-image pixel); the painter's state is saved and
// restored around the object, so nothing it sets leaks into the next. False
// when the object cannot be drawn: its style is not valid, or it is a
// pixelate or blur mask and the painter does not paint on an image (the
// filter needs the pixels drawn so far) or the filter fails.
bool draw(const AnnotationObject& object, QPainter& painter);

// The one mapping from annotation space (origin bottom-left, y up) to the
// pixels of an image `imageHeight` pixels high (origin top-left, y down).
QTransform annotationToImage(int imageHeight);

} // namespace AnnotationRenderer

} // namespace kelpie
