#include "settings/PreferencesStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QLockFile>
#include <QSaveFile>

#include <cmath>
#include <fcntl.h>
#include <unistd.h>

namespace kelpie {

namespace {

constexpr int formatVersion = 1;
constexpr int lockTimeoutMs = 10000;
constexpr qsizetype maximumSuiteNameLength = 200;

// One writer at a time inside this process; the lock file serialises
// writers across processes.
std::mutex& writerMutex()
{
    static std::mutex mutex;
    return mutex;
}

QString kindName(PreferencesStore::Kind kind)
{
    switch (kind) {
    case PreferencesStore::Kind::data: return QStringLiteral("data");
    case PreferencesStore::Kind::string: return QStringLiteral("string");
    case PreferencesStore::Kind::number: return QStringLiteral("number");
    case PreferencesStore::Kind::boolean: return QStringLiteral("boolean");
    }
    return {};
}

QJsonObject encodeEntry(const PreferencesStore::Value& value)
{
    QJsonObject entry;
    const QString name = kindName(PreferencesStore::kind(value));
    if (const auto* blob = std::get_if<QByteArray>(&value))
        entry.insert(name, QString::fromLatin1(blob->toBase64()));
    else if (const auto* text = std::get_if<QString>(&value))
        entry.insert(name, *text);
    else if (const auto* number = std::get_if<double>(&value))
        entry.insert(name, *number);
    else if (const auto* flag = std::get_if<bool>(&value))
        entry.insert(name, *flag);
    return entry;
}

// An entry is an object with exactly one member named after its kind.
// Anything else is foreign and is skipped rather than guessed at.
std::optional<PreferencesStore::Value> decodeEntry(const QJsonValue& json)
{
    if (!json.isObject())
        return std::nullopt;
    const QJsonObject entry = json.toObject();
    if (entry.size() != 1)
        return std::nullopt;
    const QString name = entry.begin().key();
    const QJsonValue value = entry.begin().value();
    if (name == kindName(PreferencesStore::Kind::data) && value.isString()) {
        const auto decoded = QByteArray::fromBase64Encoding(
            value.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            return std::nullopt;
        return std::optional<PreferencesStore::Value>(std::in_place, std::in_place_type<QByteArray>,
                                                      *decoded);
    }
    if (name == kindName(PreferencesStore::Kind::string) && value.isString())
        return std::optional<PreferencesStore::Value>(std::in_place, std::in_place_type<QString>,
                                                      value.toString());
    if (name == kindName(PreferencesStore::Kind::number) && value.isDouble())
        return std::optional<PreferencesStore::Value>(std::in_place, std::in_place_type<double>,
                                                      value.toDouble());
    if (name == kindName(PreferencesStore::Kind::boolean) && value.isBool())
        return std::optional<PreferencesStore::Value>(std::in_place, std::in_place_type<bool>,
                                                      value.toBool());
    return std::nullopt;
}

enum class ReadStatus { ok, missing, unreadable, corrupt };

ReadStatus readDomain(const QString& path, std::map<QString, PreferencesStore::Value>& domain)
{
    domain.clear();
    QFile file(path);
    if (!file.exists())
        return ReadStatus::missing;
    if (!file.open(QIODevice::ReadOnly))
        return ReadStatus::unreadable;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return ReadStatus::unreadable;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return ReadStatus::corrupt;
    const QJsonValue values = document.object().value(QStringLiteral("values"));
    if (!values.isObject())
        return ReadStatus::corrupt;
    const QJsonObject entries = values.toObject();
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (auto value = decodeEntry(it.value()))
            domain.insert_or_assign(it.key(), std::move(*value));
    }
    return ReadStatus::ok;
}

bool syncDirectory(const QString& directory)
{
    const QByteArray native = QFile::encodeName(directory);
    const int descriptor = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    const bool synced = ::fsync(descriptor) == 0;
    ::close(descriptor);
    return synced;
}

bool writeDomain(const QString& path, const std::map<QString, PreferencesStore::Value>& domain)
{
    QJsonObject values;
    for (const auto& [key, value] : domain)
        values.insert(key, encodeEntry(value));
    QJsonObject root;
    root.insert(QStringLiteral("format"), formatVersion);
    root.insert(QStringLiteral("values"), values);
    const QByteArray bytes = QJsonDocument(root).toJson(QJsonDocument::Indented);

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    // The new contents must be on disk before the rename makes them the
    // file; otherwise a power loss could leave an empty file behind.
    if (::fsync(file.handle()) != 0) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit())
        return false;
    syncDirectory(QFileInfo(path).absolutePath());
    return true;
}

} // namespace

PreferencesStore::PreferencesStore(QString filePath) : m_filePath(std::move(filePath)) { }

QString PreferencesStore::directory()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return QDir::cleanPath(base + QStringLiteral("/kelpie"));
}

std::shared_ptr<PreferencesStore> PreferencesStore::standard()
{
    return std::make_shared<PreferencesStore>(directory() + QStringLiteral("/preferences.json"));
}

bool PreferencesStore::isUsableSuiteName(const QString& name)
{
    if (name.isEmpty() || name.size() > maximumSuiteNameLength || name.startsWith(u'.'))
        return false;
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        const bool allowed = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z')
            || (u >= u'0' && u <= u'9') || u == u'.' || u == u'-' || u == u'_';
        if (!allowed)
            return false;
    }
    return true;
}

std::shared_ptr<PreferencesStore> PreferencesStore::suite(const QString& name)
{
    if (!isUsableSuiteName(name))
        return nullptr;
    return std::make_shared<PreferencesStore>(directory() + QStringLiteral("/suites/") + name
                                              + QStringLiteral(".json"));
}

bool PreferencesStore::removeSuite(const QString& name)
{
    const auto store = suite(name);
    return store && store->removePersistentDomain();
}

PreferencesStore::Kind PreferencesStore::kind(const Value& value)
{
    switch (value.index()) {
    case 0: return Kind::data;
    case 1: return Kind::string;
    case 2: return Kind::number;
    default: return Kind::boolean;
    }
}

std::map<QString, PreferencesStore::Value> PreferencesStore::persistentDomain() const
{
    std::map<QString, Value> domain;
    readDomain(m_filePath, domain);
    return domain;
}

std::optional<PreferencesStore::Value> PreferencesStore::object(const QString& key) const
{
    {
        std::lock_guard lock(m_volatileMutex);
        const auto found = m_volatile.find(key);
        if (found != m_volatile.end())
            return found->second;
    }
    const std::map<QString, Value> domain = persistentDomain();
    const auto found = domain.find(key);
    if (found == domain.end())
        return std::nullopt;
    return found->second;
}

template<typename T>
static std::optional<T> valueOfKind(const std::optional<PreferencesStore::Value>& value)
{
    if (!value)
        return std::nullopt;
    if (const T* typed = std::get_if<T>(&*value))
        return *typed;
    return std::nullopt;
}

std::optional<QByteArray> PreferencesStore::data(const QString& key) const
{
    return valueOfKind<QByteArray>(object(key));
}

std::optional<QString> PreferencesStore::string(const QString& key) const
{
    return valueOfKind<QString>(object(key));
}

std::optional<double> PreferencesStore::number(const QString& key) const
{
    return valueOfKind<double>(object(key));
}

std::optional<bool> PreferencesStore::boolean(const QString& key) const
{
    return valueOfKind<bool>(object(key));
}

bool PreferencesStore::setData(const QString& key, const QByteArray& value)
{
    return update(key, std::optional<Value>(std::in_place, std::in_place_type<QByteArray>, value));
}

bool PreferencesStore::setString(const QString& key, const QString& value)
{
    return update(key, std::optional<Value>(std::in_place, std::in_place_type<QString>, value));
}

bool PreferencesStore::setNumber(const QString& key, double value)
{
    return update(key, std::optional<Value>(std::in_place, std::in_place_type<double>, value));
}

bool PreferencesStore::setBoolean(const QString& key, bool value)
{
    return update(key, std::optional<Value>(std::in_place, std::in_place_type<bool>, value));
}

bool PreferencesStore::setObject(const QString& key, const Value& value)
{
    return update(key, value);
}

bool PreferencesStore::remove(const QString& key) { return update(key, std::nullopt); }

bool PreferencesStore::update(const QString& key, const std::optional<Value>& value)
{
    return setValues({{key, value}});
}

bool PreferencesStore::setValues(
    const std::vector<std::pair<QString, std::optional<Value>>>& changes)
{
    // JSON has no representation for these; storing one would corrupt the file.
    for (const auto& [_, value] : changes) {
        if (value && std::holds_alternative<double>(*value)
            && !std::isfinite(std::get<double>(*value)))
            return false;
    }

    std::lock_guard processLock(writerMutex());
    const QString folder = QFileInfo(m_filePath).absolutePath();
    if (!QDir().mkpath(folder))
        return false;
    QLockFile fileLock(m_filePath + QStringLiteral(".lock"));
    if (!fileLock.tryLock(lockTimeoutMs))
        return false;

    std::map<QString, Value> domain;
    switch (readDomain(m_filePath, domain)) {
    case ReadStatus::ok:
    case ReadStatus::missing: break;
    case ReadStatus::unreadable:
        // Writing now would replace settings we merely failed to read.
        return false;
    case ReadStatus::corrupt: {
        // Nothing in it can be read any more; keep one copy for the curious
        // and start afresh.
        const QString aside = m_filePath + QStringLiteral(".corrupt");
        QFile::remove(aside);
        QFile::copy(m_filePath, aside);
        break;
    }
    }

    const std::map<QString, Value> before = domain;
    for (const auto& [key, value] : changes) {
        if (value)
            domain.insert_or_assign(key, *value);
        else
            domain.erase(key);
    }
    if (domain == before)
        return true;
    return writeDomain(m_filePath, domain);
}

bool PreferencesStore::removePersistentDomain()
{
    std::lock_guard processLock(writerMutex());
    if (!QFile::exists(m_filePath))
        return true;
    QLockFile fileLock(m_filePath + QStringLiteral(".lock"));
    if (!fileLock.tryLock(lockTimeoutMs))
        return false;
    QFile::remove(m_filePath);
    return !QFile::exists(m_filePath);
}

void PreferencesStore::setVolatileValue(const QString& key, const Value& value)
{
    std::lock_guard lock(m_volatileMutex);
    m_volatile.insert_or_assign(key, value);
}

void PreferencesStore::removeVolatileValue(const QString& key)
{
    std::lock_guard lock(m_volatileMutex);
    m_volatile.erase(key);
}

} // namespace kelpie
