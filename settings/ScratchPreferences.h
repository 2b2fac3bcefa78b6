#pragma once

#include <QString>

#include <memory>
#include <optional>

namespace kelpie {

class AppPreferences;
class PreferencesStore;

// A private preferences suite for one run of a check or a rendering: the
// name is a fixed prefix and a fresh upper-case UUID, so the user's own
// settings are never read or touched. The owner removes it when the run ends.
struct ScratchPreferences {
    QString name;
    std::shared_ptr<PreferencesStore> store;
    std::shared_ptr<AppPreferences> preferences;

    // Absent when the suite cannot be made (a name the store refuses).
    static std::optional<ScratchPreferences> create(const QString& prefix);
    // The suite of the save check: the save directory is `directory`, held
    // in the suite's volatile domain only, so nothing about it is written.
    static std::optional<ScratchPreferences> saveCheck(const QString& directory);
    // Deletes the suite's file; true when none is left behind.
    static bool remove(const QString& name);
};

} // namespace kelpie
