#pragma once

#include "geometry/Rect.h"
#include "geometry/Size.h"
#include "text/RecognitionCancellation.h"

#include <QImage>
#include <QList>

#include <exception>

namespace kelpie {

// Safe text: before an image is recognised, every text region that comes
// within 3 pixels of an occluding annotation is painted white, so that
// recognised text never reveals what a mask or a filled shape covers.
//
// Rectangles here are in the image's pixel space with the origin at the
// bottom-left and y up, the space of AnnotationState::occlusions().
//
// Every function touches only its own inputs and may run on any thread.
namespace SafeTextImage {

enum class PreparationError {
    allocation,         // the bitmap or the image could not be made
    unavailableGeometry // occlusions exist but the text regions cannot be had
};

// What prepare() throws on failure.
struct PreparationFailure : std::exception {
    explicit PreparationFailure(PreparationError e) : error(e) { }
    const char* what() const noexcept override;

    PreparationError error;
};

// How far a text region reaches towards an occlusion.
inline constexpr double regionGrowth = 3;

// The text lines found by layout analysis alone (nothing is recognised), in
// reading order. Throws RecognitionCancellation::Cancelled when cancelled
// before or after the analysis, TextRecognizer::Failure when the image
// cannot be analysed (null, or out of memory).
QList<Rect> textRegions(const QImage& image, const RecognitionCancellation& cancellation);

// For each text region in order: grow it by regionGrowth on every side,
// clip it to (0, 0, size) and keep the clipped rectangle when it meets at
// least one occlusion (touching counts).
QList<Rect> regionsToSuppress(const QList<Rect>& textRegions, const QList<Rect>& occlusions,
                              Size size);

// Without occlusions, `image` itself. Otherwise an 8-bit sRGB copy with
// premultiplied alpha in which every region to suppress, found among the
// image's own text regions followed by `baseRegions`, is filled white
// (rounded outward to whole pixels). Throws PreparationFailure
// (allocation, or unavailableGeometry when the image's own text regions
// cannot be found) or RecognitionCancellation::Cancelled.
QImage prepare(const QImage& image, const QList<Rect>& baseRegions, const QList<Rect>& occlusions,
               const RecognitionCancellation& cancellation);

} // namespace SafeTextImage
} // namespace kelpie
