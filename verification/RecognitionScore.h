#pragma once

#include <QString>

namespace kelpie {

// How well a recognised text matches the text a fixture was drawn with.
namespace RecognitionScore {

// The share of the expected characters read right: 1 − the edit distance
// between the two texts over the expected text's length, clamped to [0, 1].
// White space is left out on both sides first, because a recogniser may
// join or split lines and set spaces between Chinese characters that the
// fixture does not have. Two texts without characters match fully; a
// reading of an empty expectation that is not empty scores 0.
double characterAccuracy(const QString& expected, const QString& read);

// The edit (Levenshtein) distance between two strings, counted in UTF-32
// characters, so that a Chinese character outside the basic plane counts
// once.
int editDistance(const QString& from, const QString& to);

} // namespace RecognitionScore
} // namespace kelpie
