#pragma once

#include "capture/WindowTarget.h"
#include "editor/CoreAppearance.h"
#include "geometry/Rect.h"

#include <QImage>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace kelpie {

class SelectionView;

// Renders the real selection view over a still image, off screen, in a
// chosen state: for checking how the overlay looks without covering a
// display, and for the rendering launch modes.
namespace SelectionPreview {

struct Options {
    // The image's pixels per view point; the view is the image size over it.
    double devicePixelRatio = 1;
    CoreAppearance::Appearance appearance = CoreAppearance::Appearance::light;
    std::vector<WindowTarget> targets;
    // Where the pointer rests, in view space; no magnifier without it.
    std::optional<Point> pointer;
    // A region selected as from the keyboard, with the action panel shown.
    std::optional<Rect> selection;
    std::optional<QString> status;
};

// The overlay as it would cover the image's display, at the image's
// resolution (device pixel ratio included). The toolkit renders a widget
// at a fractional ratio through an intermediate picture; for pixel-exact
// pictures at such scales, show the view from makeView on a screen of that
// scale instead.
QImage render(const QImage& frozen, const Options& options);

// The selection view of render, in the chosen state, not yet shown; null
// when the image is too small for the ratio.
std::unique_ptr<SelectionView> makeView(const QImage& frozen, const Options& options);

// The overlay with a sample window highlighted under the pointer, or with a
// sample region selected and the pointer inside it.
QImage renderSelection(const QImage& fixture, bool windowHighlight, double devicePixelRatio = 1);

} // namespace SelectionPreview
} // namespace kelpie
