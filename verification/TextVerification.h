#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace kelpie {

// Text entry on the canvas, checked without a real input method: a plain
// editor with live text opens on a picture of two known lines, and the
// routine types into the canvas's own text editor through the events an
// input method would send (marked text, then a confirmed candidate), then
// checks that marked text is never committed, that the committed text is
// exactly what was typed and is one undo step, and how masks and text
// annotations stack up in what recognition is allowed to read.
class TextVerification {
public:
    // Runs on the main thread and returns at once; `done` learns whether
    // every check passed and the report at `reportPath` was written. With
    // `previewPath` the final composite is written there as PNG.
    static void run(const QString& reportPath, const std::optional<QString>& previewPath,
                    std::function<void(bool succeeded)> done);
};

} // namespace kelpie
