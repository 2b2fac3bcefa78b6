#pragma once

#include <QByteArray>
#include <QString>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

namespace kelpie {

// A persistent key-value store for user settings: one JSON file per suite in
// Kelpie's folder under the XDG config directory, plus a volatile in-memory
// domain that is consulted before the file and never written to disk.
//
// Value kinds are kept apart: a data blob is never read back as a string and
// vice versa. Nothing is cached: every read parses the file again, so a write
// by another instance or another process is seen by the very next read.
// Writes replace the file atomically (temporary file, fsync, rename) under a
// lock file, so a process that dies mid-write leaves the previous contents
// intact, and concurrent writers never lose each other's keys.
class PreferencesStore {
public:
    using Value = std::variant<QByteArray, QString, double, bool>;

    enum class Kind { data, string, number, boolean };

    // The store behind the application's own settings.
    static std::shared_ptr<PreferencesStore> standard();
    // A named suite in its own file; null when the name cannot be a file name
    // (empty, too long, a path, or characters outside [A-Za-z0-9._-]).
    static std::shared_ptr<PreferencesStore> suite(const QString& name);
    static bool isUsableSuiteName(const QString& name);
    // Deletes the named suite's file; true when no file is left behind.
    static bool removeSuite(const QString& name);

    // $XDG_CONFIG_HOME/kelpie, or ~/.config/kelpie when that is unset or not
    // absolute. Read on every call, never cached.
    static QString directory();

    // A store over any file; the factories above pick the file for you.
    explicit PreferencesStore(QString filePath);

    PreferencesStore(const PreferencesStore&) = delete;
    PreferencesStore& operator=(const PreferencesStore&) = delete;

    const QString& filePath() const { return m_filePath; }

    // Any value under the key: the volatile domain first, then the file.
    std::optional<Value> object(const QString& key) const;
    // The value only when it has that kind.
    std::optional<QByteArray> data(const QString& key) const;
    std::optional<QString> string(const QString& key) const;
    std::optional<double> number(const QString& key) const;
    std::optional<bool> boolean(const QString& key) const;

    // Writes go to the file only. False when the file could not be written;
    // the file then still holds its previous contents.
    bool setData(const QString& key, const QByteArray& value);
    bool setString(const QString& key, const QString& value);
    bool setNumber(const QString& key, double value);
    bool setBoolean(const QString& key, bool value);
    bool setObject(const QString& key, const Value& value);
    bool remove(const QString& key);
    // Several changes in one write: all of them land, or none does. An
    // absent value removes its key; later changes of a key win.
    bool setValues(const std::vector<std::pair<QString, std::optional<Value>>>& changes);

    // Deletes this store's file; the volatile domain stays.
    bool removePersistentDomain();

    void setVolatileValue(const QString& key, const Value& value);
    void removeVolatileValue(const QString& key);

    // Exactly what the file holds now (empty when it is missing or unreadable).
    std::map<QString, Value> persistentDomain() const;

    static Kind kind(const Value& value);

private:
    bool update(const QString& key, const std::optional<Value>& value);

    QString m_filePath;
    mutable std::mutex m_volatileMutex;
    std::map<QString, Value> m_volatile;
};

} // namespace kelpie
