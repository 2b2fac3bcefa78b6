#pragma once

#include "annotation/AnnotationStyle.h"
#include "annotation/AnnotationTool.h"
#include "settings/AppShortcut.h"
#include "settings/PreferencesStore.h"

#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

namespace kelpie {

// The program's persistent settings: the two global shortcuts, the default
// save directory and the last style of each annotation tool. A thin layer
// over a preferences store with no cache of its own: every read goes to the
// store. Missing, unreadable or invalid values fall back to defaults
// silently, and reading never repairs or removes what is stored.
//
// Setters keep their plain form; whether their write landed is asked
// afterwards with lastWriteFailure(), so that the settings window can say
// so instead of showing a change that was never saved.
class AppPreferences {
public:
    static constexpr QLatin1String captureKey{"kelpie.capture.shortcut.v1"};
    static constexpr QLatin1String pinKey{"kelpie.pin.shortcut.v1"};
    static constexpr QLatin1String directoryKey{"kelpie.save.directory.v1"};

    // One instance over the standard store for the whole process.
    static const std::shared_ptr<AppPreferences>& shared();

    explicit AppPreferences(std::shared_ptr<PreferencesStore> store = PreferencesStore::standard());

    const std::shared_ptr<PreferencesStore>& store() const { return m_store; }

    // The stored shortcut when it is a readable, valid blob; F1 and F3 otherwise.
    AppShortcut captureShortcut() const;
    AppShortcut pinShortcut() const;
    // True when a shortcut entry exists but would not be used, or the
    // settings file itself cannot be read (damaged, too large, not a
    // regular file), so a stored shortcut may be ignored.
    bool hasInvalidShortcuts() const;
    // Stores both, capture first, when both are valid, they differ and the
    // pin shortcut is not the fallback capture key; otherwise writes nothing.
    void setShortcuts(const AppShortcut& capture, const AppShortcut& pin);

    // The user's Desktop folder (from the XDG user directories where set,
    // else home + "Desktop"); absent when there is no home directory.
    static std::optional<QUrl> defaultSaveDirectory();
    // The stored directory, as a file URL, whether or not it is usable now.
    std::optional<QUrl> saveDirectory() const;
    // saveDirectory() when it exists, is a directory and is writable.
    std::optional<QUrl> usableSaveDirectory() const;
    // Stores the path of a file URL; anything else removes the entry.
    void setSaveDirectory(const std::optional<QUrl>& directory);

    // "kelpie.annotation.style." + the tool's raw value + ".v1".
    static QString styleKey(AnnotationTool tool);
    // The remembered style of a tool when it decodes and is valid (returned
    // as stored, not rescaled); the tool's initial style for `scale` otherwise.
    AnnotationStyle annotationStyle(AnnotationTool tool, double scale) const;
    // Remembers a valid style; the select tool has no style of its own and an
    // invalid style is never stored.
    void setAnnotationStyle(const AnnotationStyle& style, AnnotationTool tool);

    // Why this instance's last setter stored nothing; absent when it stored
    // its value (or the store already held it). invalidValue means the
    // setter refused what it was given; every other case is the store's,
    // with the system's words in the detail.
    const std::optional<PreferencesFailure>& lastWriteFailure() const { return m_lastWriteFailure; }
    // What the user is told when settings could not be saved.
    static QString saveFailureMessage();

private:
    AppShortcut storedShortcut(const QString& key, const AppShortcut& fallback) const;
    bool isInvalidEntry(const QString& key) const;
    void record(const Status<PreferencesError>& written);

    std::shared_ptr<PreferencesStore> m_store;
    std::optional<PreferencesFailure> m_lastWriteFailure;
};

} // namespace kelpie
