// A separate process that writes to a preferences store, so that tests can
// kill a writer for real, run writers side by side, or write under limits
// the test process itself must not take on.
//
//   kelpie_store_writer blobs FILE KEY BYTES   rewrite KEY forever with ever
//                                              newer blobs; print each
//                                              generation once it is stored
//   kelpie_store_writer keys FILE PREFIX COUNT write PREFIX0 ... PREFIX<COUNT-1>
//   kelpie_store_writer once FILE KEY BYTES    write one blob of BYTES under
//                                              KEY; print "ok" or the failure
//                                              code, then the detail
//
// For "once", KELPIE_WRITER_FILE_LIMIT=N caps the size of any file the
// process writes at N bytes (a disk that is full after N bytes), and
// KELPIE_WRITER_UID=N runs it as that user (a super-user test dropping the
// right to write anywhere).

#include "settings/PreferencesStore.h"
#include "tests/settings/GenerationBlob.h"
#include "tests/settings/RetryWhileLocked.h"

#include <QString>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <grp.h>
#include <sys/resource.h>
#include <unistd.h>

using kelpie::PreferencesError;
using kelpie::PreferencesStore;
using kelpie::Status;
using kelpie::test::generationBlob;
using kelpie::test::retryWhileLocked;

namespace {

bool applyLimits()
{
    if (const char* limit = std::getenv("KELPIE_WRITER_FILE_LIMIT")) {
        // Past the limit write() fails with EFBIG instead of the signal
        // ending the process.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlim_t bytes = std::strtoull(limit, nullptr, 10);
        const rlimit size{bytes, bytes};
        if (::setrlimit(RLIMIT_FSIZE, &size) != 0)
            return false;
    }
    if (const char* uid = std::getenv("KELPIE_WRITER_UID")) {
        const auto user = static_cast<uid_t>(std::strtoul(uid, nullptr, 10));
        if (::setgroups(0, nullptr) != 0 || ::setgid(user) != 0 || ::setuid(user) != 0)
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 5)
        return 2;
    PreferencesStore store(QString::fromLocal8Bit(argv[2]));
    const QString name = QString::fromLocal8Bit(argv[3]);
    const long long number = std::atoll(argv[4]);
    if (std::strcmp(argv[1], "blobs") == 0) {
        for (long long generation = 1;; ++generation) {
            if (!retryWhileLocked(
                    [&] { return store.setData(name, generationBlob(generation, number)); }))
                return 1;
            std::printf("%lld\n", generation);
            std::fflush(stdout);
        }
    }
    if (std::strcmp(argv[1], "keys") == 0) {
        for (long long index = 0; index < number; ++index) {
            if (!retryWhileLocked([&] {
                    return store.setString(name + QString::number(index), QString::number(index));
                }))
                return 1;
        }
        return 0;
    }
    if (std::strcmp(argv[1], "once") == 0) {
        if (!applyLimits())
            return 3;
        const auto written = store.setData(name, generationBlob(1, number));
        if (written)
            std::printf("ok\n");
        else
            std::printf("%s\n%s\n", kelpie::name(written.error()).data(),
                        written.failure().detail.c_str());
        return 0;
    }
    return 2;
}
