#include "tests/text/OcrBenchTools.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>
#include <malloc.h>
#include <sys/resource.h>

namespace kelpie::OcrBenchTools {

double cpuMilliseconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

QStringList runTool(const QString& png, double* milliseconds, double* cpuMs)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("OMP_THREAD_LIMIT"), QStringLiteral("1"));
    process.setProcessEnvironment(environment);
    const double cpu = cpuMilliseconds(RUSAGE_CHILDREN);
    QElapsedTimer timer;
    timer.start();
    process.start(QStringLiteral("tesseract"),
                  {png, QStringLiteral("stdout"), QStringLiteral("-l"),
                   QStringLiteral("chi_sim+chi_tra+eng")});
    process.waitForFinished(-1);
    *milliseconds = double(timer.nsecsElapsed()) / 1e6;
    *cpuMs = cpuMilliseconds(RUSAGE_CHILDREN) - cpu;
    QStringList lines;
    for (const QString& line :
         QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        if (!line.trimmed().isEmpty())
            lines.append(line.trimmed());
    }
    return lines;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double privateMegabytes()
{
    // Hand freed heap pages back first, so that what earlier work freed does
    // not hide what is measured now.
    malloc_trim(0);
    QFile file(QStringLiteral("/proc/self/smaps_rollup"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    double kilobytes = 0;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith("Private_Clean:") || line.startsWith("Private_Dirty:")
            || line.startsWith("Swap:"))
            kilobytes += line.simplified().split(' ').value(1).toDouble();
    }
    return kilobytes / 1024;
}

QStringList linesOf(const TextAnalysis& analysis)
{
    QStringList lines;
    for (const TextAnalysis::Line& line : analysis.lines)
        lines.append(line.text);
    return lines;
}

} // namespace kelpie::OcrBenchTools
