#include "settings/PreferencesStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QLockFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace kelpie {

namespace {

constexpr int formatVersion = 1;
// Long enough for another writer to finish one write, short enough that a
// caller on the main thread hardly notices.
constexpr std::chrono::milliseconds lockWait{250};
constexpr qsizetype maximumSuiteNameLength = 200;
constexpr int maximumAsideNumber = 10000;

// One writer at a time inside this process; the lock file serialises
// writers across processes.
std::timed_mutex& writerMutex()
{
    static std::timed_mutex mutex;
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

std::string systemWords(const char* what, int error)
{
    return std::string(what) + ": " + std::generic_category().message(error);
}

// What a failed write means to the user: space ran out, or the folder or
// file is not ours to write.
PreferencesError writeErrorOf(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return PreferencesError::full;
    default: return PreferencesError::unwritable;
    }
}

Status<PreferencesError> writeFailure(const char* what, int error)
{
    return {writeErrorOf(error), systemWords(what, error)};
}

class Descriptor {
public:
    explicit Descriptor(int descriptor) : m_descriptor(descriptor) { }
    ~Descriptor()
    {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return m_descriptor; }
    // Closes now, so that a late write error is not lost.
    int close()
    {
        const int result = ::close(m_descriptor);
        m_descriptor = -1;
        return result;
    }

private:
    int m_descriptor;
};

// The settings file's top-level object, with a "values" object in it;
// absent when there is no file.
using FileRead = Result<std::optional<QJsonObject>, PreferencesError>;

FileRead readFile(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    // Look before opening, following a link: opening a FIFO blocks and a
    // device may act on being opened, so only regular files are opened.
    struct stat status = {};
    if (::stat(native.constData(), &status) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) // a dangling link counts as no file
            return FileRead(std::nullopt);
        return FileRead(PreferencesError::unreadable, systemWords("stat", errno));
    }
    if (!S_ISREG(status.st_mode))
        return FileRead(PreferencesError::unreadable, "not a regular file");
    if (status.st_size > PreferencesStore::maximumFileSize)
        return FileRead(PreferencesError::tooLarge, std::to_string(status.st_size) + " bytes");

    // Non-blocking in case something else was put in its place since.
    const Descriptor file(::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0) {
        if (errno == ENOENT)
            return FileRead(std::nullopt);
        return FileRead(PreferencesError::unreadable, systemWords("open", errno));
    }
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return FileRead(PreferencesError::unreadable, "not a regular file");
    if (status.st_size > PreferencesStore::maximumFileSize)
        return FileRead(PreferencesError::tooLarge, std::to_string(status.st_size) + " bytes");

    // Room for what the file held, plus one byte to notice that it grew;
    // a file that keeps growing is read up to one byte past the limit.
    constexpr qsizetype limit = PreferencesStore::maximumFileSize;
    QByteArray bytes(qsizetype(status.st_size) + 1, Qt::Uninitialized);
    qsizetype length = 0;
    for (;;) {
        if (length == bytes.size()) {
            if (length > limit)
                break;
            bytes.resize(limit + 1);
        }
        const ssize_t count = ::read(file.get(), bytes.data() + length,
                                     static_cast<std::size_t>(bytes.size() - length));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return FileRead(PreferencesError::unreadable, systemWords("read", errno));
        if (count == 0)
            break;
        length += count;
    }
    if (length > limit)
        return FileRead(PreferencesError::tooLarge, "grew while being read");
    bytes.truncate(length);

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        return FileRead(PreferencesError::damaged, error.errorString().toStdString());
    if (!document.isObject() || !document.object().value(QStringLiteral("values")).isObject())
        return FileRead(PreferencesError::damaged, "no \"values\" object");
    return FileRead(std::optional<QJsonObject>(document.object()));
}

QJsonObject entriesOf(const QJsonObject& root)
{
    return root.value(QStringLiteral("values")).toObject();
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

Status<PreferencesError> makeFolder(const QString& folder)
{
    if (QFileInfo(folder).isDir())
        return Done{};
    const QString parent = QFileInfo(folder).path();
    if (parent != folder) {
        if (auto made = makeFolder(parent); !made)
            return made;
    }
    // Settings are nobody else's business.
    if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST)
        return writeFailure("mkdir", errno);
    if (!QFileInfo(folder).isDir())
        return {PreferencesError::unwritable, "not a folder: " + folder.toStdString()};
    return Done{};
}

// Keeps a damaged file under the first free number (".damaged.1", ".2",
// ...), never over an earlier one.
Status<PreferencesError> keepAside(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    for (int number = 1; number <= maximumAsideNumber; ++number) {
        const QByteArray aside = native + ".damaged." + QByteArray::number(number);
        // A second name for the same file: it stays in place until the new
        // settings replace it, and link() never overwrites.
        if (::link(native.constData(), aside.constData()) == 0)
            return Done{};
        if (errno == EEXIST)
            continue;
        // Without hard links, move it; the writer lock keeps others out.
        struct stat status = {};
        if (::lstat(aside.constData(), &status) == 0)
            continue;
        if (::rename(native.constData(), aside.constData()) == 0)
            return Done{};
        return writeFailure("keep damaged settings aside", errno);
    }
    return {PreferencesError::unwritable, "too many damaged settings files kept aside"};
}

Status<PreferencesError> writeAll(int descriptor, const QByteArray& bytes)
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(descriptor, bytes.constData() + written,
                                      static_cast<std::size_t>(bytes.size() - written));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return writeFailure("write", errno);
        written += count;
    }
    return Done{};
}

// Replaces the file at `path` itself with new contents: a temporary file
// beside it, synced, then renamed over it. When `path` is a link, the link
// is replaced and what it points to stays as it was.
Status<PreferencesError> writeFile(const QString& path, const QByteArray& bytes)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat previous = {};
    const bool hadFile = ::stat(native.constData(), &previous) == 0;

    QByteArray temporary = native + ".XXXXXX";
    Descriptor file(::mkostemp(temporary.data(), O_CLOEXEC));
    if (file.get() < 0)
        return writeFailure("create", errno);
    auto discard = [&](Status<PreferencesError> failure) {
        ::unlink(temporary.constData());
        return failure;
    };
    if (auto written = writeAll(file.get(), bytes); !written)
        return discard(written);
    if (hadFile) // keep whatever access the user gave the file
        ::fchmod(file.get(), previous.st_mode & 07777);
    // The new contents must be on disk before the rename makes them the
    // file; otherwise a power loss could leave an empty file behind.
    if (::fsync(file.get()) != 0)
        return discard(writeFailure("fsync", errno));
    if (file.close() != 0)
        return discard(writeFailure("close", errno));
    if (::rename(temporary.constData(), native.constData()) != 0)
        return discard(writeFailure("rename", errno));
    syncDirectory(QFileInfo(path).absolutePath());
    return Done{};
}

Status<PreferencesError> lockFailure(const QLockFile& lock)
{
    switch (lock.error()) {
    case QLockFile::LockFailedError:
        return {PreferencesError::locked, "another writer holds the settings lock"};
    case QLockFile::PermissionError:
        return {PreferencesError::unwritable, "cannot create the settings lock file"};
    default: return {PreferencesError::unwritable, "cannot take the settings lock"};
    }
}

// What a writer holds while it reads, changes and replaces the file: this
// process's writer mutex, then the lock file other processes honour. Both
// are taken within one short wait, released in reverse order.
class WriterLock {
public:
    explicit WriterLock(const QString& filePath) : m_file(filePath + QStringLiteral(".lock")) { }

    Status<PreferencesError> acquire()
    {
        using namespace std::chrono;
        const auto deadline = steady_clock::now() + lockWait;
        if (!m_process.try_lock_until(deadline))
            return {PreferencesError::locked, "another thread is writing settings"};
        const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
        if (!m_file.tryLock(static_cast<int>(std::max<decltype(left)>(left, 0))))
            return lockFailure(m_file);
        return Done{};
    }

private:
    std::unique_lock<std::timed_mutex> m_process{writerMutex(), std::defer_lock};
    QLockFile m_file;
};

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

Status<PreferencesError> PreferencesStore::removeSuite(const QString& name)
{
    const auto store = suite(name);
    if (!store)
        return {PreferencesError::invalidValue, "not a suite name"};
    return store->removePersistentDomain();
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
    const FileRead file = readFile(m_filePath);
    if (!file || !file.value())
        return domain;
    const QJsonObject entries = entriesOf(*file.value());
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (auto value = decodeEntry(it.value()))
            domain.insert_or_assign(it.key(), std::move(*value));
    }
    return domain;
}

Result<std::optional<PreferencesStore::Value>, PreferencesError> PreferencesStore::lookup(
    const QString& key) const
{
    using Lookup = Result<std::optional<Value>, PreferencesError>;
    {
        std::lock_guard lock(m_volatileMutex);
        const auto found = m_volatile.find(key);
        if (found != m_volatile.end())
            return Lookup(std::optional<Value>(found->second));
    }
    const FileRead file = readFile(m_filePath);
    if (!file)
        return file.failure();
    if (!file.value())
        return Lookup(std::nullopt);
    const QJsonValue entry = entriesOf(*file.value()).value(key);
    if (entry.isUndefined())
        return Lookup(std::nullopt);
    if (auto value = decodeEntry(entry))
        return Lookup(std::move(value));
    return Lookup(PreferencesError::unknownEntry, "entry of an unknown kind");
}

std::optional<PreferencesStore::Value> PreferencesStore::object(const QString& key) const
{
    auto found = lookup(key);
    if (!found)
        return std::nullopt;
    return std::move(found).value();
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

Status<PreferencesError> PreferencesStore::setData(const QString& key, const QByteArray& value)
{
    return update(key, std::optional<Value>(std::in_place, std::in_place_type<QByteArray>, value));
}

Status<PreferencesError> PreferencesStore::setString(const QString& key, const QString& value)
{
    return update(key, std::optional<Value>(std::in_place, std::in_place_type<QString>, value));
}

Status<PreferencesError> PreferencesStore::setNumber(const QString& key, double value)
{
    return update(key, std::optional<Value>(std::in_place, std::in_place_type<double>, value));
}

Status<PreferencesError> PreferencesStore::setBoolean(const QString& key, bool value)
{
    return update(key, std::optional<Value>(std::in_place, std::in_place_type<bool>, value));
}

Status<PreferencesError> PreferencesStore::setObject(const QString& key, const Value& value)
{
    return update(key, value);
}

Status<PreferencesError> PreferencesStore::remove(const QString& key)
{
    return update(key, std::nullopt);
}

Status<PreferencesError> PreferencesStore::update(const QString& key,
                                                  const std::optional<Value>& value)
{
    return setValues({{key, value}});
}

Status<PreferencesError> PreferencesStore::setValues(
    const std::vector<std::pair<QString, std::optional<Value>>>& changes)
{
    // JSON has no representation for these; storing one would corrupt the file.
    for (const auto& [_, value] : changes) {
        if (value && std::holds_alternative<double>(*value)
            && !std::isfinite(std::get<double>(*value)))
            return {PreferencesError::invalidValue, "a number JSON cannot hold"};
    }

    if (auto made = makeFolder(QFileInfo(m_filePath).absolutePath()); !made)
        return made;
    WriterLock lock(m_filePath);
    if (auto locked = lock.acquire(); !locked)
        return locked;

    const FileRead current = readFile(m_filePath);
    // Writing now would replace settings we merely failed to read.
    if (!current && current.error() == PreferencesError::unreadable)
        return current.failure();
    // A damaged file has nothing left to merge with: start afresh.
    const bool damaged = !current;
    QJsonObject root = current && current.value() ? *current.value() : QJsonObject();

    // Entries this store cannot read, and anything else in the file, stay
    // as they are.
    QJsonObject entries = entriesOf(root);
    const QJsonObject before = entries;
    for (const auto& [key, value] : changes) {
        if (value)
            entries.insert(key, encodeEntry(*value));
        else
            entries.remove(key);
    }
    if (entries == before)
        return Done{};

    if (!root.contains(QStringLiteral("format")))
        root.insert(QStringLiteral("format"), formatVersion);
    root.insert(QStringLiteral("values"), entries);
    const QByteArray bytes = QJsonDocument(root).toJson(QJsonDocument::Indented);
    // A file this store would refuse to read would lose every setting.
    if (bytes.size() > maximumFileSize)
        return {PreferencesError::tooLarge, std::to_string(bytes.size()) + " bytes"};
    if (damaged) {
        if (auto kept = keepAside(m_filePath); !kept)
            return kept;
    }
    return writeFile(m_filePath, bytes);
}

Status<PreferencesError> PreferencesStore::removePersistentDomain()
{
    const QByteArray native = QFile::encodeName(m_filePath);
    struct stat status = {};
    if (::lstat(native.constData(), &status) != 0)
        return Done{};
    WriterLock lock(m_filePath);
    if (auto locked = lock.acquire(); !locked)
        return locked;
    // unlink() removes a link itself, never what it points to.
    if (::unlink(native.constData()) != 0 && errno != ENOENT)
        return writeFailure("unlink", errno);
    return Done{};
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
