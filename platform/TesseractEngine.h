#pragma once

#include "text/RecognitionCancellation.h"
#include "text/TextAnalysis.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>
#include <vector>

namespace kelpie {

// One worker's Tesseract models: one recogniser per language, each loaded
// the first time it is needed (so a screen without Chinese never loads the
// Chinese models, and traditional Chinese is loaded only for screens that
// call for it). Lines are recognised one by one, each as a single text line
// with the model the caller picks. Each model is used by one thread at a
// time; different models of one engine may work on different threads at
// once.
class TesseractEngine {
public:
    struct Result {
        // Boxes in the line image's pixels.
        std::vector<TextAnalysis::Glyph> glyphs;
        // The confidence of the word each glyph belongs to, glyph by glyph.
        std::vector<double> wordConfidences;
        double confidence = 0;  // mean over the words
        double weakestWord = 0; // the least confident word's
        bool hasHan = false;    // read at least one Han character
        int model = -1;         // the model that read it
        // Characters of the simplified model's reading that the picture
        // showed surely in their traditional form (see HanScriptCheck).
        int traditionalFound = 0;
        // For a reading asked for with its choices, the readings weighed for
        // each glyph, as read: not kept in step when glyphs are changed.
        std::vector<std::vector<TextAnalysis::Choice>> choices;
    };

    // Tesseract model names ("chi_sim", "eng", …) in the caller's order.
    // Nothing is loaded yet.
    explicit TesseractEngine(const QStringList& models);
    ~TesseractEngine();
    TesseractEngine(const TesseractEngine&) = delete;
    TesseractEngine& operator=(const TesseractEngine&) = delete;

    // Loads the model at `model` in the constructor's list unless it is
    // loaded. Throws TextRecognizer::Failure when it cannot be loaded.
    void load(int model);

    // Recognises a grey line image with the model at `model` in the
    // constructor's list, loading it first when needed. Throws
    // RecognitionCancellation::Cancelled when the cancellation fires during
    // recognition, TextRecognizer::Failure when the model cannot be loaded.
    // With `withChoices` the result also lists the readings weighed for each
    // glyph, which costs a fifth more time.
    Result recognize(const QImage& line, int model, const RecognitionCancellation& cancellation,
                     bool withChoices = false);

    // Keeps Tesseract's OpenMP loops on the calling thread. Its default team
    // of four threads per line, with every worker doing the same, makes
    // recognition several times slower on a machine with few cores. Call
    // once on every thread before it recognises.
    static void limitThreads();

    // How many models the engines of this process have loaded so far (a
    // model freed and loaded again counts twice); 0 until the first
    // recognition or prewarm.
    static int loadsInProcess();

    // What the model loads of this process skipped of the older
    // recogniser, which no engine runs: its list of look-alike characters
    // (once per load) and the classes of its adaptive classifier (one per
    // character of a model).
    struct OlderRecognizerSkips {
        int lookAlikeLists = 0;
        int adaptedClasses = 0;
    };
    static OlderRecognizerSkips olderRecognizerSkips();

private:
    struct Model;
    // Loads the model at `index` unless it is loaded; its lock is held.
    void loadLocked(int index);

    QStringList names;
    std::vector<std::unique_ptr<Model>> models; // null until loaded
    std::unique_ptr<std::mutex[]> locks;        // one per model
};

} // namespace kelpie
