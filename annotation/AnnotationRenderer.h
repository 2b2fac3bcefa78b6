#pragma once

#include "annotation/AnnotationObject.h"

#include <QImage>
#include <QList>
#include <QTransform>

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
std::optional<QImage> render(const QImage& base, const QList<AnnotationObject>& objects);

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
