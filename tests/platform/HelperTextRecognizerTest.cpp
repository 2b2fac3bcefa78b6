#include "platform/HelperTextRecognizer.h"

#include "platform/RecognitionHelper.h"
#include "platform/RecognitionWire.h"
#include "tests/text/TextFixture.h"
#include "text/TextLayout.h"

#include <QColorSpace>
#include <QDataStream>
#include <QFile>
#include <QIODevice>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace kelpie;
using namespace std::chrono_literals;

// A recogniser whose answers the test decides; it keeps every image it got.
class ScriptedRecognizer : public TextRecognizer {
public:
    std::function<TextAnalysis(const QImage&, const RecognitionCancellation&)> answer;

    TextAnalysis analyze(const QImage& image, const RecognitionCancellation& cancellation) override
    {
        {
            const std::lock_guard guard(lock);
            received.push_back(image);
        }
        return answer(image, cancellation);
    }

    void forgetLines() override { ++forgets; }

    std::atomic<int> forgets{0};

    std::vector<QImage> images()
    {
        const std::lock_guard guard(lock);
        return received;
    }

private:
    std::mutex lock;
    std::vector<QImage> received;
};

// Helpers served by threads of this process, one per start, each with the
// scripted recogniser.
class InThreadHelpers : public ::testing::Test {
protected:
    std::shared_ptr<ScriptedRecognizer> recognizer = std::make_shared<ScriptedRecognizer>();
    std::atomic<int> starts{0};
    std::atomic<bool> refuse{false};
    std::vector<std::thread> servers;
    std::vector<int> serverFds;
    std::mutex lock;

    HelperTextRecognizer::Start start()
    {
        return [this]() -> HelperTextRecognizer::Channel {
            int fds[2];
            if (refuse || socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
                return {};
            ++starts;
            const std::lock_guard guard(lock);
            serverFds.push_back(fds[1]);
            servers.emplace_back([fd = fds[1], helper = recognizer] {
                RecognitionHelper::serve(fd, helper);
                close(fd);
            });
            return {fds[0], 0};
        };
    }

    // Stands for the helper dying: its end of the socket goes.
    void dropHelper()
    {
        const std::lock_guard guard(lock);
        shutdown(serverFds.back(), SHUT_RDWR);
    }

    void TearDown() override
    {
        for (std::thread& server : servers)
            server.join();
    }
};

TextAnalysis oneLine(const QString& text, double confidence)
{
    TextAnalysis::Line line;
    line.text = text;
    line.box = Rect(1.5, 2.25, 40, 12);
    line.confidence = confidence;
    TextAnalysis::Word word{text, line.box, {}};
    for (qsizetype i = 0; i < text.size(); ++i)
        word.characters.push_back({text.mid(i, 1), Rect(1.5 + i * 8, 2.25, 8, 12)});
    line.words.push_back(word);
    return {{line}};
}

bool samePixels(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return false;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y))
                return false;
        }
    }
    return true;
}

QImage pattern(int width, int height, QImage::Format format)
{
    QImage image(width, height, format);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            image.setPixelColor(x, y, QColor(x * 7 % 256, y * 13 % 256, (x + y) % 256));
    }
    return image;
}

// The analysis comes back whole, and the recogniser gets exactly the pixels
// sent: rows with padding lose only the padding, pixels in another colour
// space arrive converted to sRGB, and a colour table becomes plain colours.
TEST_F(InThreadHelpers, AnalysesAndImagesCrossWhole)
{
    const TextAnalysis expected = oneLine(QStringLiteral("简体 text 2026"), 87.5);
    recognizer->answer = [&](const QImage&, const RecognitionCancellation&) { return expected; };
    HelperTextRecognizer helper(start());

    const QImage plain = pattern(33, 7, QImage::Format_RGB32);
    std::vector<uchar> padded(std::size_t(40 * 3) * 9);
    QImage withPadding(padded.data(), 37, 9, 40 * 3, QImage::Format_RGB888);
    withPadding.fill(Qt::darkCyan);
    withPadding.setPixelColor(36, 8, Qt::yellow);
    QImage wideGamut = pattern(16, 16, QImage::Format_ARGB32);
    wideGamut.setColorSpace(QColorSpace::DisplayP3);
    QImage indexed = pattern(12, 5, QImage::Format_RGB32).convertToFormat(QImage::Format_Indexed8);

    for (const QImage& sent : {plain, withPadding, wideGamut, indexed})
        EXPECT_EQ(helper.analyze(sent, RecognitionCancellation()), expected);

    const std::vector<QImage> got = recognizer->images();
    ASSERT_EQ(got.size(), 4U);
    EXPECT_TRUE(samePixels(got[0], plain));
    EXPECT_EQ(got[0].format(), plain.format());
    EXPECT_TRUE(samePixels(got[1], withPadding));
    EXPECT_TRUE(samePixels(got[2], TextLayout::inSrgb(wideGamut)));
    EXPECT_FALSE(samePixels(got[2], wideGamut));
    EXPECT_TRUE(samePixels(got[3], indexed));
    for (const QImage& image : got)
        EXPECT_EQ(image.colorSpace(), QColorSpace(QColorSpace::SRgb));

    // Forgetting reaches the helper's recogniser before the next analysis.
    helper.forgetLines();
    helper.analyze(plain, RecognitionCancellation());
    EXPECT_EQ(recognizer->forgets, 1);
    EXPECT_EQ(starts, 1);
}

// Two windows' analyses run side by side in one helper, each answered with
// its own result, one on the thread that serves the helper (its main
// thread) and one beside it; a recogniser's failure reaches its caller with
// its reason.
TEST_F(InThreadHelpers, ConcurrentAnalysesGetTheirOwnAnswers)
{
    std::atomic<int> inside{0};
    std::mutex threadsLock;
    std::set<std::thread::id> threads;
    recognizer->answer = [&](const QImage& image, const RecognitionCancellation&) {
        {
            const std::lock_guard guard(threadsLock);
            threads.insert(std::this_thread::get_id());
        }
        ++inside;
        // Both are inside the recogniser before either answers.
        for (int wait = 0; inside < 2 && wait < 500; ++wait)
            std::this_thread::sleep_for(2ms);
        if (image.width() == 3)
            throw TextRecognizer::Failure("no models for this");
        return oneLine(QString::number(image.width()), 90);
    };
    HelperTextRecognizer helper(start());
    QString first, failure;
    std::thread other([&] {
        try {
            helper.analyze(pattern(3, 3, QImage::Format_RGB32), RecognitionCancellation());
        } catch (const TextRecognizer::Failure& error) {
            failure = QString::fromUtf8(error.what());
        }
    });
    first = helper.analyze(pattern(21, 4, QImage::Format_RGB32), RecognitionCancellation()).text();
    other.join();
    EXPECT_EQ(first, QStringLiteral("21"));
    EXPECT_EQ(failure, QStringLiteral("no models for this"));
    EXPECT_EQ(inside, 2);
    EXPECT_EQ(threads.size(), 2u);
    const std::lock_guard guard(lock);
    EXPECT_EQ(threads.count(servers.front().get_id()), 1u);
}

// Cancelling returns at once and stops the helper's work on that image; the
// helper stays for the next analysis.
TEST_F(InThreadHelpers, CancellingStopsTheHelpersWork)
{
    std::atomic<bool> helperSawCancel{false};
    recognizer->answer = [&](const QImage& image, const RecognitionCancellation& cancellation) {
        while (image.width() == 50 && !cancellation.isCancelled())
            std::this_thread::sleep_for(1ms);
        if (cancellation.isCancelled()) {
            helperSawCancel = true;
            throw RecognitionCancellation::Cancelled();
        }
        return oneLine(QStringLiteral("after"), 80);
    };
    HelperTextRecognizer helper(start());
    const RecognitionCancellation cancellation;
    std::thread canceller([&] {
        std::this_thread::sleep_for(30ms);
        cancellation.cancel();
    });
    EXPECT_THROW(helper.analyze(pattern(50, 5, QImage::Format_RGB32), cancellation),
                 RecognitionCancellation::Cancelled);
    canceller.join();
    for (int wait = 0; !helperSawCancel && wait < 500; ++wait)
        std::this_thread::sleep_for(2ms);
    EXPECT_TRUE(helperSawCancel);
    EXPECT_THROW(helper.analyze(pattern(5, 5, QImage::Format_RGB32), cancellation),
                 RecognitionCancellation::Cancelled);
    EXPECT_EQ(helper.analyze(pattern(6, 5, QImage::Format_RGB32), RecognitionCancellation()).text(),
              QStringLiteral("after"));
    EXPECT_EQ(starts, 1);
}

// A helper that goes away fails the analysis waiting on it; the next one
// starts a new helper. One that cannot be started is a failure, not a hang.
TEST_F(InThreadHelpers, AHelperThatGoesAwayIsReplaced)
{
    std::atomic<bool> busy{false};
    recognizer->answer = [&](const QImage& image, const RecognitionCancellation& cancellation) {
        busy = true;
        while (image.width() == 50 && !cancellation.isCancelled())
            std::this_thread::sleep_for(1ms);
        cancellation.throwIfCancelled();
        return oneLine(QStringLiteral("again"), 80);
    };
    HelperTextRecognizer helper(start());
    std::thread dropper([&] {
        while (!busy)
            std::this_thread::sleep_for(1ms);
        dropHelper();
    });
    EXPECT_THROW(helper.analyze(pattern(50, 5, QImage::Format_RGB32), RecognitionCancellation()),
                 TextRecognizer::Failure);
    dropper.join();
    EXPECT_EQ(helper.analyze(pattern(7, 5, QImage::Format_RGB32), RecognitionCancellation()).text(),
              QStringLiteral("again"));
    EXPECT_EQ(starts, 2);

    HelperTextRecognizer unstartable([] { return HelperTextRecognizer::Channel{}; });
    unstartable.forgetLines(); // no helper: nothing to tell, nothing started
    EXPECT_THROW(unstartable.analyze(pattern(7, 5, QImage::Format_RGB32), RecognitionCancellation()),
                 TextRecognizer::Failure);
}

// Whatever does not add up ends the conversation instead of being believed:
// a truncated message, a payload larger than allowed, an image whose
// pixels are fewer than its size needs, a format that does not exist.
TEST(RecognitionWire, RefusesMessagesThatDoNotAddUp)
{
    auto readAfter = [](const std::function<void(int)>& write) {
        int fds[2];
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        write(fds[0]);
        close(fds[0]);
        const bool read = RecognitionWire(fds[1]).read().has_value();
        close(fds[1]);
        return read;
    };
    struct Header {
        std::uint32_t kind, reserved;
        std::uint64_t id, length;
    };
    auto raw = [](int fd, Header header, const QByteArray& payload) {
        ASSERT_EQ(::write(fd, &header, sizeof header), ssize_t(sizeof header));
        ASSERT_EQ(::write(fd, payload.constData(), payload.size()), payload.size());
    };
    auto imageHeader = [](qint32 width, qint32 height, qint32 format) {
        QByteArray bytes;
        QDataStream(&bytes, QIODevice::WriteOnly) << width << height << format;
        return bytes;
    };

    EXPECT_TRUE(readAfter([](int fd) { RecognitionWire(fd).writeCancel(9); }));
    EXPECT_TRUE(readAfter([&](int fd) {
        raw(fd, {1, 0, 1, 12 + 2 * 4}, imageHeader(2, 1, QImage::Format_RGB32) + QByteArray(8, 'x'));
    }));
    EXPECT_FALSE(readAfter([&](int fd) {
        raw(fd, {1, 0, 1, 12 + 3 * 4}, imageHeader(2, 1, QImage::Format_RGB32) + QByteArray(8, 'x'));
    }));
    EXPECT_FALSE(readAfter([&](int fd) { raw(fd, {3, 0, 1, std::uint64_t(1) << 40}, {}); }));
    EXPECT_FALSE(readAfter([&](int fd) {
        raw(fd, {1, 0, 1, 12 + 4}, imageHeader(1, 1, QImage::NImageFormats) + QByteArray(4, 'x'));
    }));
    EXPECT_FALSE(readAfter([&](int fd) {
        raw(fd, {1, 0, 1, 12}, imageHeader(100000, 100000, QImage::Format_RGB32));
    }));
    EXPECT_FALSE(readAfter([&](int fd) { raw(fd, {3, 0, 1, 8}, QByteArray(4, '\0')); }));
    EXPECT_FALSE(readAfter([&](int fd) { raw(fd, {3, 0, 1, 4}, QByteArray("\xff\xff\xff\xff", 4)); }));
}

// The helper's allocator settings join the environment's own, which come
// after them and so win; nothing else of the environment changes.
TEST(HelperTextRecognizer, HelperEnvironmentAddsAllocatorSettingsBeforeTheUsersOwn)
{
    const auto strings = [](std::initializer_list<const char*> texts) {
        QByteArrayList list;
        for (const char* text : texts)
            list.append(QByteArray(text));
        return list;
    };
    const auto environment = [&strings](std::initializer_list<const char*> texts) {
        return HelperTextRecognizer::helperEnvironment(strings(texts));
    };
    EXPECT_EQ(environment({"HOME=/root", "LANG=zh_CN.UTF-8"}),
              strings({"HOME=/root", "LANG=zh_CN.UTF-8",
                       "GLIBC_TUNABLES=glibc.malloc.hugetlb=1:glibc.malloc.top_pad=33554432"}));
    EXPECT_EQ(environment({"GLIBC_TUNABLES=glibc.malloc.hugetlb=0", "PATH=/usr/bin"}),
              strings({"PATH=/usr/bin", "GLIBC_TUNABLES=glibc.malloc.hugetlb=1:glibc.malloc."
                                        "top_pad=33554432:glibc.malloc.hugetlb=0"}));
    EXPECT_EQ(environment({"GLIBC_TUNABLES="}),
              strings({"GLIBC_TUNABLES=glibc.malloc.hugetlb=1:glibc.malloc.top_pad=33554432"}));
    // Bytes that are no text in any encoding pass unchanged.
    EXPECT_EQ(environment({"NAME=\xff\xfe"}).first(), QByteArray("NAME=\xff\xfe"));
    // A variable whose name only starts like it is another variable.
    EXPECT_EQ(environment({"GLIBC_TUNABLES_X=1"}),
              strings({"GLIBC_TUNABLES_X=1",
                       "GLIBC_TUNABLES=glibc.malloc.hugetlb=1:glibc.malloc.top_pad=33554432"}));
}

bool processRuns(pid_t pid) { return pid > 0 && kill(pid, 0) == 0; }

// The real helper executable reads text, Chinese and English; it lives as
// long as the recogniser and is replaced when it dies, say killed by the
// system.
TEST(HelperTextRecognizer, RealHelperReadsTextAndEndsWithItsRecognizer)
{
    const TextFixture fixture = TextFixture::mixedLines();
    pid_t first = 0;
    {
        HelperTextRecognizer helper;
        EXPECT_EQ(helper.helperProcess(), 0);
        EXPECT_EQ(helper.analyze(fixture.image, RecognitionCancellation()).text(),
                  fixture.texts().join(QLatin1Char('\n')));
        first = helper.helperProcess();
        ASSERT_TRUE(processRuns(first));
        // It runs in the environment made for it.
        QFile environ(QStringLiteral("/proc/%1/environ").arg(first));
        ASSERT_TRUE(environ.open(QIODevice::ReadOnly));
        const QList<QByteArray> variables = environ.readAll().split('\0');
        EXPECT_TRUE(std::any_of(variables.begin(), variables.end(), [](const QByteArray& v) {
            return v.startsWith("GLIBC_TUNABLES=glibc.malloc.hugetlb=1");
        }));

        kill(first, SIGKILL);
        for (int wait = 0; helper.helperProcess() != 0 && wait < 1000; ++wait)
            std::this_thread::sleep_for(2ms);
        EXPECT_EQ(helper.helperProcess(), 0);
        EXPECT_EQ(waitpid(first, nullptr, WNOHANG), -1) << "reaped, not a zombie";
        EXPECT_FALSE(helper.analyze(fixture.image, RecognitionCancellation()).isEmpty());
        EXPECT_NE(helper.helperProcess(), first);
        first = helper.helperProcess();
    }
    // Reaped, not only told to go: nothing of it is left.
    EXPECT_FALSE(processRuns(first));
    EXPECT_EQ(waitpid(first, nullptr, WNOHANG), -1);
}

} // namespace
