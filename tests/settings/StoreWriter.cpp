// A separate process that writes to a preferences store, so that tests can
// kill a writer for real or run writers side by side.
//
//   kelpie_store_writer blobs FILE KEY BYTES   rewrite KEY forever with ever
//                                              newer blobs; print each
//                                              generation once it is stored
//   kelpie_store_writer keys FILE PREFIX COUNT write PREFIX0 ... PREFIX<COUNT-1>

#include "settings/PreferencesStore.h"
#include "tests/settings/GenerationBlob.h"

#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>

using kelpie::PreferencesStore;
using kelpie::test::generationBlob;

int main(int argc, char* argv[])
{
    if (argc != 5)
        return 2;
    PreferencesStore store(QString::fromLocal8Bit(argv[2]));
    const QString name = QString::fromLocal8Bit(argv[3]);
    const long long number = std::atoll(argv[4]);
    if (std::strcmp(argv[1], "blobs") == 0) {
        for (long long generation = 1;; ++generation) {
            if (!store.setData(name, generationBlob(generation, number)))
                return 1;
            std::printf("%lld\n", generation);
            std::fflush(stdout);
        }
    }
    if (std::strcmp(argv[1], "keys") == 0) {
        for (long long index = 0; index < number; ++index) {
            if (!store.setString(name + QString::number(index), QString::number(index)))
                return 1;
        }
        return 0;
    }
    return 2;
}
