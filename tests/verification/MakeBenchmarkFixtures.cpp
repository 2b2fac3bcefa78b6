// make_benchmark_fixtures DIR: writes the benchmark fixture set and its
// manifest.json into DIR, for the benchmark modes' --benchmark-fixtures.
#include "verification/BenchmarkFixture.h"

#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_benchmark_fixtures DIR\n");
        return 2;
    }
    const auto written = kelpie::BenchmarkFixtureSet::write(QString::fromLocal8Bit(argv[1]));
    if (!written) {
        std::fprintf(stderr, "make_benchmark_fixtures: %s\n", written.failure().detail.c_str());
        return 1;
    }
    return 0;
}
