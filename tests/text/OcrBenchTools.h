#pragma once

#include "text/TextAnalysis.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace kelpie {

// What the modes of bench_ocr share: running the tesseract command-line tool
// as the yardstick, clocks and the process's private memory.
namespace OcrBenchTools {

// One run of
//   OMP_THREAD_LIMIT=1 tesseract PNG stdout -l chi_sim+chi_tra+eng
// (the recogniser's three models): the non-blank lines it printed, trimmed,
// with its wall time and processor time in milliseconds.
QStringList runTool(const QString& png, double* milliseconds, double* cpuMilliseconds);

// Processor time, in milliseconds, of this process (RUSAGE_SELF) or of its
// finished children (RUSAGE_CHILDREN).
double cpuMilliseconds(int who);

double median(std::vector<double> values);

// Private memory of the process (private resident pages plus swap, from
// /proc/self/smaps_rollup), after handing freed heap pages back.
double privateMegabytes();

QStringList linesOf(const TextAnalysis& analysis);

} // namespace OcrBenchTools
} // namespace kelpie
