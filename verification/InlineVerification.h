#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace kelpie {

// In-place editing, checked on the screenshot editor itself.
//
// run(): the editor opens over a generated frozen screen with a crop of a
// card that carries two known lines; the routine checks where the tool bar
// sits, selects recognised text with a pointer drag, copies the crop and
// checks the output is exactly the crop, draws an annotation and checks
// that re-cropping is then no longer offered, and opens the save dialog to
// see that it starts in the default folder (cancelled: nothing is saved).
//
// runWindow(): a window of this process whose left part is covered by
// another is captured through the real window capture, opened in the
// screenshot editor at its place on screen, and the routine checks that
// the covered pixels survive into the editor and its output.
class InlineVerification {
public:
    // Both run on the main thread and return at once; `done` learns
    // whether every check passed and the report was written.
    static void run(const QString& reportPath, const std::optional<QString>& previewPath,
                    std::function<void(bool succeeded)> done);
    // With `keepPreview` the editor and the fixture windows stay open after
    // the report is written, and `done` is not called; the scratch settings
    // go when the editor closes.
    static void runWindow(const QString& reportPath, bool keepPreview,
                          std::function<void(bool succeeded)> done);
};

} // namespace kelpie
