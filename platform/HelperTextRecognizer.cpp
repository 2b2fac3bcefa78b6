#include "platform/HelperTextRecognizer.h"

#include "platform/RecognitionWire.h"
#include "text/TextLayout.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kelpie {
namespace {

// The descriptor the helper finds its socket on.
constexpr int helperFd = 3;
// How long a helper told to go may take before it is killed.
constexpr auto helperExitWait = std::chrono::seconds(2);
// How often a waiting analysis looks at its cancellation.
constexpr auto cancellationPoll = std::chrono::milliseconds(10);
// Huge pages for the heaps (where transparent huge pages may be asked for),
// grown 32 MB at a time so that a model's allocations land in few of them.
// One arena per thread is kept: sharing one would make the workers queue
// at the allocator.
constexpr char allocatorTunables[] = "glibc.malloc.hugetlb=1:glibc.malloc.top_pad=33554432";

std::atomic<int> started{0};

QString helperPath()
{
    for (const QString& path : HelperTextRecognizer::candidates()) {
        if (QFile::exists(path))
            return path;
    }
    return {};
}

HelperTextRecognizer::Channel spawnHelper(const QString& path)
{
    QByteArrayList inherited;
    for (char** variable = environ; *variable; ++variable)
        inherited.append(QByteArray(*variable));
    QByteArrayList variables = HelperTextRecognizer::helperEnvironment(inherited);
    std::vector<char*> helperEnviron;
    for (QByteArray& variable : variables)
        helperEnviron.push_back(variable.data());
    helperEnviron.push_back(nullptr);

    int fds[2];
    if (path.isEmpty() || socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        return {};
    // The child's end must not already be the descriptor it is moved to:
    // dup2 onto itself would leave it closed on exec.
    int child = fds[1];
    if (child == helperFd) {
        child = fcntl(fds[1], F_DUPFD_CLOEXEC, helperFd + 1);
        close(fds[1]);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, child, helperFd);
    const QByteArray file = QFile::encodeName(path);
    char* argv[] = {const_cast<char*>(file.constData()), nullptr};
    pid_t pid = 0;
    const int failed = child < 0
        ? EBADF
        : posix_spawn(&pid, file.constData(), &actions, nullptr, argv, helperEnviron.data());
    posix_spawn_file_actions_destroy(&actions);
    if (child >= 0)
        close(child);
    if (failed != 0) {
        close(fds[0]);
        return {};
    }
    return {fds[0], pid};
}

// Waits for a helper to end (it was told to go, or it already went); kills
// it when it takes too long.
void reap(pid_t pid)
{
    if (pid <= 0)
        return;
    const auto deadline = std::chrono::steady_clock::now() + helperExitWait;
    while (waitpid(pid, nullptr, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// Formats the recogniser cannot take as they are, or whose colour table
// would not travel, become plain 32-bit pixels; everything arrives in sRGB.
QImage sendable(const QImage& image)
{
    QImage converted = TextLayout::inSrgb(image);
    if (converted.depth() < 8 || converted.format() == QImage::Format_Indexed8)
        converted = converted.convertToFormat(QImage::Format_ARGB32);
    return converted;
}

} // namespace

struct HelperTextRecognizer::Private {
    // One running helper.
    struct Connection {
        Channel channel;
        std::mutex writing;
        std::thread reader;
        bool gone = false; // guarded by Private::lock

        // Closed only when no analysis can write to it any more.
        ~Connection()
        {
            if (channel.fd >= 0)
                close(channel.fd);
        }
    };
    struct Pending {
        Connection* connection = nullptr;
        std::optional<RecognitionWire::Message> answer;
    };

    Start start;
    std::mutex lock;
    std::condition_variable answered;
    std::shared_ptr<Connection> connection;
    std::map<std::uint64_t, Pending> pending;
    std::uint64_t nextId = 1;

    // The running helper, started when there is none or the last one went.
    // Another analysis may start one while this one waits for the last to
    // end; then that one is used.
    std::shared_ptr<Connection> running(std::unique_lock<std::mutex>& held)
    {
        while (connection && connection->gone)
            retire(held);
        if (connection)
            return connection;
        const Channel channel = start ? start() : Channel{};
        if (channel.fd < 0)
            return nullptr;
        ++started;
        connection = std::make_shared<Connection>();
        connection->channel = channel;
        connection->reader = std::thread([this, c = connection.get()] { read(c); });
        return connection;
    }

    // Answers reach their waiting analysis; when the helper goes, every
    // analysis still waiting on it learns so.
    void read(Connection* c)
    {
        const RecognitionWire wire(c->channel.fd);
        while (std::optional<RecognitionWire::Message> message = wire.read()) {
            const std::lock_guard guard(lock);
            const auto found = pending.find(message->id);
            if (found != pending.end() && found->second.connection == c) {
                found->second.answer = std::move(message);
                answered.notify_all();
            }
        }
        // A helper that went on its own (a crash) is waited for now, not
        // left a zombie until the next analysis; one that was told to go
        // exits as soon as it has stopped its work.
        reap(c->channel.pid);
        const std::lock_guard guard(lock);
        c->channel.pid = 0;
        c->gone = true;
        answered.notify_all();
    }

    // Ends the current helper: no more requests, its reader stopped, the
    // process waited for. Unlocks while it waits, so the reader can finish.
    // The socket itself closes with the last analysis still holding it.
    void retire(std::unique_lock<std::mutex>& held)
    {
        std::shared_ptr<Connection> old = std::move(connection);
        if (!old)
            return;
        held.unlock();
        shutdown(old->channel.fd, SHUT_RDWR);
        // The reader waits for the process once the socket is shut.
        if (old->reader.joinable())
            old->reader.join();
        held.lock();
    }

    bool send(Connection* c, const std::function<bool(const RecognitionWire&)>& write)
    {
        const std::lock_guard guard(c->writing);
        return write(RecognitionWire(c->channel.fd));
    }
};

HelperTextRecognizer::HelperTextRecognizer()
    : HelperTextRecognizer([] { return spawnHelper(helperPath()); })
{
}

HelperTextRecognizer::HelperTextRecognizer(Start start) : d(std::make_shared<Private>())
{
    d->start = std::move(start);
}

HelperTextRecognizer::~HelperTextRecognizer()
{
    std::unique_lock held(d->lock);
    d->retire(held);
}

std::shared_ptr<TextRecognizer> HelperTextRecognizer::make()
{
    if (helperPath().isEmpty()) {
        std::fprintf(stderr, "Kelpie: the text recognition helper (kelpie-recognizer) is not "
                             "installed; live text is off.\n");
        return nullptr;
    }
    return std::make_shared<HelperTextRecognizer>();
}

QStringList HelperTextRecognizer::candidates()
{
    const QString file = QStringLiteral("kelpie-recognizer");
    QStringList paths;
    if (QCoreApplication::instance()) {
        const QDir executable(QCoreApplication::applicationDirPath());
        paths << executable.filePath(file) << QDir::cleanPath(executable.filePath(QStringLiteral("../") + file));
    }
    paths << QDir(QStringLiteral(KELPIE_RECOGNIZER_BUILD_DIR)).filePath(file);
    return paths;
}

QByteArrayList HelperTextRecognizer::helperEnvironment(const QByteArrayList& environment)
{
    const QByteArray key("GLIBC_TUNABLES=");
    QByteArrayList result;
    QByteArray tunables(allocatorTunables);
    for (const QByteArray& variable : environment) {
        if (!variable.startsWith(key)) {
            result.append(variable);
        } else if (variable.size() > key.size()) {
            tunables += ':' + variable.mid(key.size());
        }
    }
    result.append(key + tunables);
    return result;
}

int HelperTextRecognizer::helpersStarted() { return started; }

pid_t HelperTextRecognizer::helperProcess() const
{
    const std::lock_guard guard(d->lock);
    return d->connection && !d->connection->gone ? d->connection->channel.pid : 0;
}

void HelperTextRecognizer::forgetLines()
{
    std::shared_ptr<Private::Connection> connection;
    {
        const std::lock_guard guard(d->lock);
        if (!d->connection || d->connection->gone)
            return;
        connection = d->connection;
    }
    d->send(connection.get(), [](const RecognitionWire& wire) { return wire.writeForget(); });
}

TextAnalysis HelperTextRecognizer::analyze(const QImage& image,
                                           const RecognitionCancellation& cancellation)
{
    cancellation.throwIfCancelled();
    const QImage pixels = sendable(image);
    std::unique_lock held(d->lock);
    const std::shared_ptr<Private::Connection> connection = d->running(held);
    Private::Connection* c = connection.get();
    if (!c)
        throw Failure("the text recognition helper cannot be started");
    const std::uint64_t id = d->nextId++;
    d->pending[id].connection = c;
    const auto forget = [&] { d->pending.erase(id); };
    held.unlock();
    const bool sent = d->send(c, [&](const RecognitionWire& wire) { return wire.writeAnalyze(id, pixels); });
    held.lock();
    Private::Pending& waiting = d->pending[id];
    while (sent && !waiting.answer && !c->gone && !cancellation.isCancelled())
        d->answered.wait_for(held, cancellationPoll);
    if (waiting.answer) {
        RecognitionWire::Message answer = std::move(*waiting.answer);
        forget();
        switch (answer.kind) {
        case RecognitionWire::Kind::analysis: return std::move(answer.analysis);
        case RecognitionWire::Kind::cancelled: throw RecognitionCancellation::Cancelled();
        default: throw Failure(answer.reason.toStdString());
        }
    }
    forget();
    if (sent && !c->gone && cancellation.isCancelled()) {
        held.unlock();
        d->send(c, [&](const RecognitionWire& wire) { return wire.writeCancel(id); });
        throw RecognitionCancellation::Cancelled();
    }
    // The helper went away, most likely on this very image; the next
    // analysis starts a new one.
    if (d->connection.get() == c)
        c->gone = true;
    throw Failure("the text recognition helper stopped");
}

} // namespace kelpie
