#pragma once

#include "app/LaunchOptions.h"

namespace kelpie {

// The appearance chosen on the command line ("--appearance"), set on the
// whole application: a light or a dark palette over the Fusion style, so it
// holds whatever the desktop's theme is.
namespace AppAppearance {

void apply(LaunchOptions::Appearance appearance);

} // namespace AppAppearance
} // namespace kelpie
