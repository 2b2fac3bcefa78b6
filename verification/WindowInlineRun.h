#pragma once

#include <QString>

#include <functional>

namespace kelpie {

// The window in-place editing check (InlineVerification::runWindow): a
// fixture window of this process with a red left part that another window
// of this process covers is captured through the real window capture and
// opened in the screenshot editor at its place on screen.
class WindowInlineRun {
public:
    static void start(const QString& reportPath, bool keepPreview,
                      std::function<void(bool succeeded)> done);
};

} // namespace kelpie
