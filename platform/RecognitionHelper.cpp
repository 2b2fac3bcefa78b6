#include "platform/RecognitionHelper.h"

#include "platform/RecognitionWire.h"
#include "text/TextRecognizer.h"

#include <QThreadPool>

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace kelpie::RecognitionHelper {
namespace {

// Analyses at once; further requests wait for one of them to end.
constexpr int concurrentAnalyses = 8;

struct Conversation {
    explicit Conversation(int fd) : wire(fd) { }

    RecognitionWire wire;
    std::mutex lock;
    std::map<std::uint64_t, RecognitionCancellation> running;

    void answer(std::uint64_t id, const std::function<bool(const RecognitionWire&)>& write)
    {
        const std::lock_guard guard(lock);
        running.erase(id);
        write(wire);
    }
};

void work(Conversation& conversation, TextRecognizer* recognizer, std::uint64_t id,
          const QImage& image, const RecognitionCancellation& cancellation)
{
    if (!recognizer)
        return conversation.answer(id, [id](const RecognitionWire& wire) {
            return wire.writeFailure(id, QStringLiteral("text recognition is unavailable"));
        });
    try {
        TextAnalysis analysis = recognizer->analyze(image, cancellation);
        conversation.answer(id, [&](const RecognitionWire& wire) { return wire.writeAnalysis(id, analysis); });
    } catch (const RecognitionCancellation::Cancelled&) {
        conversation.answer(id, [id](const RecognitionWire& wire) { return wire.writeCancelled(id); });
    } catch (const std::exception& error) {
        const QString reason = QString::fromUtf8(error.what());
        conversation.answer(id, [&](const RecognitionWire& wire) { return wire.writeFailure(id, reason); });
    }
}

// The thread that called serve() (the process's main thread) as a worker:
// it takes an analysis whenever it is free, the pool takes the others. The
// C library's allocator gives the main thread its huge-page heap (see
// HelperTextRecognizer::helperEnvironment) and other threads heaps of
// their own without: a first analysis that loads its models there is up
// to a fifth quicker.
class CallingThread {
public:
    // Hands `job` to the calling thread when it is free; false when not.
    bool offer(std::function<void()>& job)
    {
        const std::lock_guard guard(lock);
        if (busy)
            return false;
        busy = true;
        next = std::move(job);
        handed.notify_one();
        return true;
    }

    // No more jobs come; work() returns once the one handed over is done.
    void end()
    {
        const std::lock_guard guard(lock);
        ended = true;
        handed.notify_one();
    }

    // Does the jobs handed over, until end().
    void work()
    {
        std::unique_lock guard(lock);
        for (;;) {
            handed.wait(guard, [this] { return next || ended; });
            if (!next)
                return;
            const std::function<void()> job = std::move(next);
            next = nullptr;
            guard.unlock();
            job();
            guard.lock();
            busy = false;
        }
    }

private:
    std::mutex lock;
    std::condition_variable handed;
    std::function<void()> next;
    bool busy = false;
    bool ended = false;
};

// Reads the socket until Kelpie closes it: forget and cancel requests are
// acted on at once, analyses go to the calling thread or the pool. Then the
// analyses still running are cancelled.
void readRequests(Conversation& conversation, const std::shared_ptr<TextRecognizer>& recognizer,
                  CallingThread& caller, QThreadPool& workers)
{
    while (std::optional<RecognitionWire::Message> message = conversation.wire.read()) {
        const std::uint64_t id = message->id;
        const std::lock_guard guard(conversation.lock);
        if (message->kind == RecognitionWire::Kind::forget && recognizer) {
            recognizer->forgetLines();
        } else if (message->kind == RecognitionWire::Kind::cancel) {
            if (const auto found = conversation.running.find(id);
                found != conversation.running.end())
                found->second.cancel();
        } else if (message->kind == RecognitionWire::Kind::analyze) {
            const RecognitionCancellation cancellation;
            conversation.running.emplace(id, cancellation);
            std::function<void()> job = [&conversation, recognizer, id,
                                         image = std::move(message->image), cancellation] {
                work(conversation, recognizer.get(), id, image, cancellation);
            };
            if (!caller.offer(job))
                workers.start(std::move(job));
        }
    }
    const std::lock_guard guard(conversation.lock);
    for (auto& [id, cancellation] : conversation.running)
        cancellation.cancel();
}

} // namespace

void serve(int fd, const std::shared_ptr<TextRecognizer>& recognizer)
{
    Conversation conversation(fd);
    QThreadPool workers;
    workers.setMaxThreadCount(concurrentAnalyses - 1);
    CallingThread caller;
    // The socket is read on a thread of its own, so that a cancel request
    // reaches an analysis running on this one.
    std::thread reader([&] {
        readRequests(conversation, recognizer, caller, workers);
        caller.end();
    });
    caller.work();
    reader.join();
    workers.waitForDone();
}

} // namespace kelpie::RecognitionHelper
