#pragma once

#include "annotation/AnnotationTool.h"

#include <array>

namespace kelpie {

// The four quick sizes offered beside the width slider. Each tool has its
// own set, scaled like the tool's default style so that a preset means the
// same on a small crop and on a large screenshot shown small.
namespace WidthPresets {

// mask 8, 16, 24, 32; highlight 12, 20, 28, 36; number 2, 3, 4, 6; every
// other tool 2, 4, 6, 10.
std::array<int, 4> base(AnnotationTool tool);

// clamp(floor(preset × scale), 4 for the mask's strength else 1, 80). A scale
// that is not a finite positive number counts as 1.
int scaled(AnnotationTool tool, int preset, double scale);

// The four values shown for a tool at a scale.
std::array<int, 4> values(AnnotationTool tool, double scale);

// Stroked tools show a sample line instead of the number, and a field
// for any other width: rectangle, ellipse, arrow, line, pen and highlight.
bool showIcons(AnnotationTool tool);

} // namespace WidthPresets
} // namespace kelpie
