#pragma once

#include "geometry/Rect.h"
#include "geometry/Size.h"
#include "text/RecognitionCancellation.h"

#include <QImage>
#include <QList>

#include <exception>

namespace kelpie {

// Safe text: before an image is recognised, every word of text that comes
// within 3 pixels of an occluding annotation is painted over, so that
// recognised text never reveals what a mask or a filled shape covers. The
// unit is the word, not the line: the rest of a line that a mask half
// covers stays readable, and so do dense lines just beyond the reach.
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

// The words of the text lines found by layout analysis alone (nothing is
// recognised), line after line in reading order. Where the blank between
// two words cannot be told from the blank between letters the words stay
// one region: a region may hold more than a word, never less. Throws
// RecognitionCancellation::Cancelled when cancelled before or after the
// analysis, TextRecognizer::Failure when the image cannot be analysed
// (null, or out of memory).
QList<Rect> textRegions(const QImage& image, const RecognitionCancellation& cancellation);

// For each text region in order: grow it by regionGrowth on every side,
// clip it to (0, 0, size) and keep the clipped rectangle when it meets at
// least one occlusion (touching counts).
QList<Rect> regionsToSuppress(const QList<Rect>& textRegions, const QList<Rect>& occlusions,
                              Size size);

// Without occlusions, `image` itself. Otherwise an 8-bit sRGB copy with
// premultiplied alpha (converted as TextLayout::inSrgb converts, so text
// away from the masks reads exactly as in an image recognised directly) in
// which every occlusion is filled with the colour around it (a pixelation
// or a blur still carries the shape of what it covers) and every region to
// suppress, found among the image's own text regions
// followed by `baseRegions`, is filled (rounded outward to whole pixels)
// with the colour most common just around it: a flat patch of the panel,
// which neither shows the words nor, as a white block on a dark panel
// would, looks like a shape to the text around it. Where the growth of a
// suppressed region reaches into a word of the image that is itself out of
// reach of every occlusion, that word keeps its pixels; so does a word of
// `baseRegions` out of reach of every occlusion that the image's own
// analysis joined to a suppressed one (with masked words gone, a line's
// remaining blanks can look like letter gaps). No other ink of a
// suppressed word comes back, and none of a suppressed base word. Throws
// PreparationFailure (allocation, or unavailableGeometry when the image's
// own text regions cannot be found) or RecognitionCancellation::Cancelled.
QImage prepare(const QImage& image, const QList<Rect>& baseRegions, const QList<Rect>& occlusions,
               const RecognitionCancellation& cancellation);

} // namespace SafeTextImage
} // namespace kelpie
