#pragma once

#include <QString>

#include <functional>

namespace kelpie {

// The editor's status line as the controls see it: its text, a setter, and
// the routine text the editor shows when nothing else is to be said.
struct EditorStatusHooks {
    std::function<QString()> text;
    std::function<void(const QString&)> set;
    std::function<QString()> contextual;
};

} // namespace kelpie
