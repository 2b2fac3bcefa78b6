#pragma once

#include "core/Result.h"

#include <string_view>

namespace kelpie {

// Why a preferences read or write did not do what was asked.
enum class PreferencesError {
    // The settings file exists but cannot be read: no permission, an I/O
    // error, or something other than a regular file (a folder, a FIFO, a
    // device, or a link to one). Writes refuse too, so nothing of it is lost.
    unreadable,
    // The settings file is larger than any Kelpie writes; read as damaged.
    // For a write: the settings would grow beyond that size.
    tooLarge,
    // The settings file is no settings file (not JSON, or the wrong shape).
    damaged,
    // The one entry asked for has a kind this store cannot read. It is
    // kept as it is by every write of another key.
    unknownEntry,
    // The folder or the file cannot be created or replaced: permissions, a
    // read-only file system, a file where a folder belongs.
    unwritable,
    // Another writer holds the settings lock beyond a short wait.
    locked,
    // No space left, quota exhausted or file size limit reached.
    full,
    // The value was refused before anything was written: a number JSON cannot
    // hold, an invalid shortcut pair, an invalid style.
    invalidValue,
};

constexpr std::string_view name(PreferencesError error)
{
    switch (error) {
    case PreferencesError::unreadable: return "unreadable";
    case PreferencesError::tooLarge: return "tooLarge";
    case PreferencesError::damaged: return "damaged";
    case PreferencesError::unknownEntry: return "unknownEntry";
    case PreferencesError::unwritable: return "unwritable";
    case PreferencesError::locked: return "locked";
    case PreferencesError::full: return "full";
    case PreferencesError::invalidValue: return "invalidValue";
    }
    return "?";
}

using PreferencesFailure = Failure<PreferencesError>;

} // namespace kelpie
