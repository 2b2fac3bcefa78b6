#pragma once

#include "text/TextAnalysis.h"

#include <QImage>

namespace kelpie {

// Underscores the recogniser took for spaces. Line recognisers read the
// low stroke between two words of an identifier ("log_file" in bold type)
// as the blank between two words. The picture shows it: a stroke along
// the bottom of the line across the whole gap, with nothing above it. An
// underline is no underscore: it also runs under the words themselves.
class GapUnderscore {
public:
    // Joins with an underscore every two neighbouring Latin words of
    // `analysis` whose gap in `normalized` (dark on white, the analysis's
    // pixels) shows one. Returns how many were found.
    static int settle(const QImage& normalized, TextAnalysis& analysis);
};

} // namespace kelpie
