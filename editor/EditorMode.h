#pragma once

namespace kelpie {

// Which of the three editor windows the shared editor pieces serve: the plain
// image editor, the screenshot editor laid over the frozen screen, or a pinned
// image. Controls, layout and shortcuts differ by mode.
enum class EditorMode { plain, screenshot, pinned };

} // namespace kelpie
