#pragma once

#include "core/Result.h"

namespace kelpie {

// Why a display or window capture failed. One enumeration serves both
// captures and the capture service behind them; DisplayCapture::CaptureError
// and WindowCapture::CaptureError are names for it.
enum class CaptureError {
    // Screen reading is not allowed right now.
    permission,
    // The display or window is unknown, or went away (closed, hidden, owned
    // by another process, or moved or resized) before its image was read.
    missing,
    // The pixel size breaks PixelLimits.
    unsupportedSize,
    // The display's mode changed under the caller's feet: its device pixels
    // no longer match the screen the caller knows, so the image could not be
    // placed. The caller starts over with the screens as they are now.
    screenChanged,
    // The window system refused or failed; Failure::detail holds its words.
    system,
};

template<typename T> using CaptureResult = Result<T, CaptureError>;

} // namespace kelpie
