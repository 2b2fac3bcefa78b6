#pragma once

#include "geometry/Rect.h"
#include "text/SafeTextImage.h"
#include "text/SecretRule.h"
#include "text/SecretRules.h"
#include "text/TextAnalysis.h"

#include <vector>

namespace kelpie {

// One secret found in recognised text.
struct SecretMatch {
    // The rule that names it (the strongest one where several matched).
    SecretRule rule = SecretRule::highEntropy;
    // Its code units in TextAnalysis::text().
    SecretRange range;
    // One rectangle per line the secret touches, in the image's pixel space
    // (origin at the top-left, y down, as in TextAnalysis): across, from its
    // first character's box to its last one's; down, the line's box; grown
    // by SecretFinder::margin on every side.
    std::vector<Rect> rects;

    friend bool operator==(const SecretMatch&, const SecretMatch&) = default;
};

// Finds the secrets in an image's recognised text.
namespace SecretFinder {

// How far a secret's rectangles reach beyond its characters' boxes: the
// reach of safe text towards a mask, so that no anti-aliased stroke of a
// covered character shows beside the mask.
inline constexpr double margin = SafeTextImage::regionGrowth;

// Every rule over one text, overlapping matches merged (the merged match
// takes the rule listed first in SecretRule), in text order.
std::vector<std::pair<SecretRule, SecretRange>> findInText(const SecretText& text);

// The secrets of an analysis, in reading order. Lines that sit side by side
// on one row are searched as one row, so that a value read apart from its
// label ("Password" … "hunter2") is still found.
std::vector<SecretMatch> find(const TextAnalysis& analysis);

} // namespace SecretFinder
} // namespace kelpie
