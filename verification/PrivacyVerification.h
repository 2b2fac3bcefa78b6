#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace kelpie {

// Masking and the live text: a plain editor with the real recogniser opens
// on a picture of two made-up lines, part of a word of the first line is
// masked with each mask effect in turn, and the routine checks that the
// whole word, uncovered letters included, leaves every text output (the
// overlay, select-all, copy-all to the clipboard) while the rest stays,
// that moving the mask away brings the word back and undoing the move hides
// it again, and that a closed window keeps no analysis.
class PrivacyVerification {
public:
    // Runs on the main thread and returns at once; `done` learns whether
    // every check passed and the report was written. With `previewPath`
    // the masked composite is written there as PNG. Without
    // `checkClipboard` the clipboard is left alone.
    static void run(const QString& reportPath, const std::optional<QString>& previewPath,
                    bool checkClipboard, std::function<void(bool succeeded)> done);
};

} // namespace kelpie
