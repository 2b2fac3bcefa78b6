#pragma once

#include "tests/text/OcrCorpusBench.h"

namespace kelpie {

// bench_ocr --safe: masks drawn with the annotation renderer over screens
// of the corpus (solid, pixelate and blur; whole lines, half lines, single
// words; light and dark screens), the composite prepared as the editor does
// (SafeTextImage::prepare with the base image's text regions) and read.
// Counts masked words that can still be read (must be none) and words
// farther than 3 pixels from every mask that the unmasked reading had and
// the masked one lost.
namespace OcrSafeBench {

int run(const OcrCorpusBench::Options& options);

} // namespace OcrSafeBench
} // namespace kelpie
