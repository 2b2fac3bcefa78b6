#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QString>

namespace kelpie {

enum class ImageFileError {
    // The temporary file beside the target could not be created (read-only
    // folder, missing folder, no permission).
    cannotCreate,
    // Writing or committing failed (disk full, I/O error); nothing was left.
    cannotWrite,
};

// Image files written by the save dialog.
class ImageFile {
public:
    // Writes all bytes to a temporary file in the target's folder, flushes
    // it to disk and renames it over the target, so the target is either
    // the old file or the complete new one, never a partial write.
    static Status<ImageFileError> write(const QString& path, const QByteArray& bytes);
};

} // namespace kelpie
