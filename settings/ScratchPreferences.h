#pragma once

#include "settings/AppPreferences.h"

#include <QString>

#include <memory>

namespace kelpie {

// Private settings for a check or a rendering that must neither read nor
// change the user's own: a suite named by a fixed prefix and a fresh UUID,
// used through an AppPreferences, and removed when this object ends (or
// earlier, with remove()).
class ScratchPreferences {
public:
    // `prefix` ends with a dot, e.g. "com.kelpie.pin-check.".
    explicit ScratchPreferences(const QString& prefix);
    ~ScratchPreferences();

    ScratchPreferences(const ScratchPreferences&) = delete;
    ScratchPreferences& operator=(const ScratchPreferences&) = delete;

    const QString& suiteName() const { return m_name; }
    // Null only when the suite could not be named (a prefix with characters
    // a file name cannot hold).
    const std::shared_ptr<AppPreferences>& preferences() const { return m_preferences; }
    // Deletes the suite's file now; later calls do nothing.
    void remove();

private:
    QString m_name;
    std::shared_ptr<AppPreferences> m_preferences;
    bool m_removed = false;
};

} // namespace kelpie
