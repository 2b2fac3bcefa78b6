#pragma once

#include "text/SecretRule.h"
#include "text/SecretText.h"

#include <vector>

namespace kelpie {

// The detection rules. Each finds the secrets of its kind in a recognised
// text, precisely rather than greedily: a match covers the secret itself
// (never its label) and only strings whose shape or check digits make them
// very likely secrets.
//
// The text holds recognised lines separated by "\n"; a "\t" joins two pieces
// of text read side by side on one row (a label and the value beside it).
// Only a private key block reaches over a line break.
namespace SecretRules {

// The ranges of the original text that `rule` finds, in text order, not
// overlapping.
std::vector<SecretRange> find(SecretRule rule, const SecretText& text);

} // namespace SecretRules
} // namespace kelpie
