#pragma once

#include <QString>
#include <QStringList>

namespace kelpie {

// The modes of bench_ocr that read the recognition corpus (OcrCorpus), each
// printing a report and returning the process's exit status.
namespace OcrCorpusBench {

struct Options {
    // Only these screens; empty means the mode's own choice.
    QStringList screens;
    // Timed turns per screen (the recogniser and the tool alternate going
    // first).
    int iterations = 3;
    // Print every line read, every row missed and every junk line.
    bool showLines = false;
    // Also read each masked composite without safe preparation, to show what
    // the masks alone leave legible (safe mode).
    bool unprepared = false;
    // Where safe mode writes every prepared image, when not empty.
    QString imageDirectory;
    // This executable, started again for fresh-process measurements.
    QString program;
    // Read the screens with the recogniser alone, without the tool's turns
    // (reading figures only; the time columns of the tool stay empty).
    bool withoutTool = false;
    // The recogniser's minimum line height; 0 keeps its default.
    int lineHeight = 0;
};

// Every screen: the warm recogniser against the tool, interleaved; rows
// read exactly, character accuracy, junk lines, backward steps of the
// reading order and median times, by set (tuning, held-out).
int compare(const Options& options);

// The first analysis in a fresh process (models not loaded) against the
// tool on the same image, each in a process of its own.
int cold(const Options& options);
// The child of cold(): reads one image with a new recogniser, in this
// process or through a helper process as Kelpie does, and prints its times.
int analyzeOnce(const QString& png, bool throughHelper);

// Private memory the recogniser's models add: one set, all workers, and
// all workers after reading every screen.
int memory(const Options& options);

} // namespace OcrCorpusBench
} // namespace kelpie
