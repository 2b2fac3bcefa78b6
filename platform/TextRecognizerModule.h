#pragma once

#include <QString>

#include <memory>

namespace kelpie {

class TextRecognizer;

// The Tesseract recogniser, loaded from its own module on first use, so that
// a program that never reads text (the tray at rest, `kelpie --capture-now`
// handing its request over) neither maps nor links Tesseract's libraries.
// The module stays loaded once it is.
namespace TextRecognizerModule {

// A new recogniser; null, with the reason on stderr once, when the module
// cannot be found or loaded (live text is then unavailable).
std::shared_ptr<TextRecognizer> make();

// Models loaded by any recogniser of this process since it started; 0 also
// while the module is not loaded.
int modelLoadsInProcess();

// Whether the module is loaded in this process.
bool loaded();

// The Tesseract model for a recognition language ("zh-Hans" → "chi_sim");
// empty for a language without one.
QString modelName(const QString& language);

} // namespace TextRecognizerModule
} // namespace kelpie
