#pragma once

#include "settings/PreferencesError.h"

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
//
// Nothing is lost: entries of a kind this store cannot read are kept as they
// are by writes of other keys, and a damaged file is kept aside under a new
// number before a write starts afresh. Reads never block and never take
// more than maximumFileSize bytes; a settings file that is not a regular
// file (or a link to one) is refused, not opened, and never replaced. A
// write replaces the file in Kelpie's folder: when that is a link, the link
// is replaced, never the file it points to. No call waits more than a
// moment for another writer's lock.
class PreferencesStore {
public:
    using Value = std::variant<QByteArray, QString, double, bool>;

    enum class Kind { data, string, number, boolean };

    // Far above what Kelpie's settings take; larger files are refused.
    static constexpr qint64 maximumFileSize = 1024 * 1024;

    // The store behind the application's own settings.
    static std::shared_ptr<PreferencesStore> standard();
    // A named suite in its own file; null when the name cannot be a file name
    // (empty, too long, a path, or characters outside [A-Za-z0-9._-]).
    static std::shared_ptr<PreferencesStore> suite(const QString& name);
    static bool isUsableSuiteName(const QString& name);
    // Deletes the named suite's file; succeeds when no file is left behind.
    static Status<PreferencesError> removeSuite(const QString& name);

    // $XDG_CONFIG_HOME/kelpie, or ~/.config/kelpie when that is unset or not
    // absolute. Read on every call, never cached.
    static QString directory();

    // A store over any file; the factories above pick the file for you.
    explicit PreferencesStore(QString filePath);

    PreferencesStore(const PreferencesStore&) = delete;
    PreferencesStore& operator=(const PreferencesStore&) = delete;

    const QString& filePath() const { return m_filePath; }

    // What the key holds: the volatile domain first, then the file. Absent
    // when neither has the key; a failure when the file cannot be read
    // (unreadable, tooLarge, damaged) or the key's entry is of a kind this
    // store cannot read (unknownEntry).
    Result<std::optional<Value>, PreferencesError> lookup(const QString& key) const;
    // Any value under the key; absent also when lookup() fails.
    std::optional<Value> object(const QString& key) const;
    // The value only when it has that kind.
    std::optional<QByteArray> data(const QString& key) const;
    std::optional<QString> string(const QString& key) const;
    std::optional<double> number(const QString& key) const;
    std::optional<bool> boolean(const QString& key) const;

    // Writes go to the file only. On failure the file still holds its
    // previous contents, and the failure's detail has the system's words.
    Status<PreferencesError> setData(const QString& key, const QByteArray& value);
    Status<PreferencesError> setString(const QString& key, const QString& value);
    Status<PreferencesError> setNumber(const QString& key, double value);
    Status<PreferencesError> setBoolean(const QString& key, bool value);
    Status<PreferencesError> setObject(const QString& key, const Value& value);
    Status<PreferencesError> remove(const QString& key);
    // Several changes in one write: all of them land, or none does. An
    // absent value removes its key; later changes of a key win.
    Status<PreferencesError> setValues(
        const std::vector<std::pair<QString, std::optional<Value>>>& changes);

    // Deletes this store's file (a link, not what it points to); the
    // volatile domain stays.
    Status<PreferencesError> removePersistentDomain();

    void setVolatileValue(const QString& key, const Value& value);
    void removeVolatileValue(const QString& key);

    // The readable values the file holds now (empty when it is missing or
    // cannot be read; entries of unknown kinds are left out).
    std::map<QString, Value> persistentDomain() const;

    static Kind kind(const Value& value);

private:
    Status<PreferencesError> update(const QString& key, const std::optional<Value>& value);

    QString m_filePath;
    mutable std::mutex m_volatileMutex;
    std::map<QString, Value> m_volatile;
};

} // namespace kelpie
