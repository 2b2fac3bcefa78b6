#pragma once

#include "text/TextRecognizer.h"

#include <QStringList>

#include <memory>

namespace kelpie {

// The on-device recogniser behind TextRecognizer, built on Tesseract's
// line recognisers.
//
// Screenshots are not scanned pages, so the page work is Kelpie's own: the
// image is normalised to dark text on white against each panel's
// background, lines are found by layout analysis (TextLayout), and each
// line is recognised on its own (scaled up when small, as a single line)
// with the model that suits it, on all workers at once. Empty areas cost
// nothing and an image without ink never reaches Tesseract. Lines read
// before are remembered by their pixels, so that reading a document again
// after an edit costs only the lines the edit changed, and words whose
// pixels an edit left alone read as they did before (WordMemory). On a
// terminal, a character's picture reads the same in every row (CellVote).
//
// Models stay loaded for the life of the recogniser. Each worker holds the
// English and simplified Chinese models (about 18 MB), each loaded when
// the worker's lines first need it, or by prewarm(). The traditional
// Chinese model, needed only for screens whose Chinese lines the first
// script reads poorly or that show traditional characters, is loaded by
// the workers that read such lines again, the first time such a screen
// comes. Sets beyond the worker count (made while analyses overlap)
// are freed once idle, and all idle models are freed when the system runs
// low on memory (MemAvailable below 256 MiB after an analysis) or when
// releaseIdleModels() is called; the next analysis loads them again.
class TesseractTextRecognizer final : public TextRecognizer {
public:
    struct Options {
        // Lines recognised at once; 0 means one per processor core, at most
        // two (each worker holds its own English and simplified Chinese
        // models, about 18 MB of private memory).
        int workers = 0;
        // Lines lower than this many pixels are scaled up to it first.
        int minimumLineHeight = 24;
        // Instead of choosing a model per line, let one recogniser loaded
        // with every language choose per word (Tesseract's own way, slower).
        bool combinedModel = false;
        // Readings of this many recent lines are kept, keyed by a digest of
        // the line's pixels, so that analysing an edited image again reads only
        // the lines that changed. 0 turns this off.
        int rememberedLines = 2000;
    };

    explicit TesseractTextRecognizer(const QStringList& languages = TextRecognizer::languages());
    TesseractTextRecognizer(const QStringList& languages, Options options);
    ~TesseractTextRecognizer() override;

    TextAnalysis analyze(const QImage& image, const RecognitionCancellation& cancellation) override;

    // Loads the English and first Chinese model of every worker now, the
    // workers' at once, so that the first analysis does not pay for them.
    // Throws Failure when a model cannot be loaded.
    void prewarm();
    void releaseIdleModels();
    // Forgets the remembered line and word readings.
    void forgetLines() override;
    // Model sets currently loaded, busy or idle.
    int loadedModelSets() const;
    // Models loaded by any recogniser of this process since it started:
    // 0 means no analysis has paid for loading yet.
    static int modelLoadsInProcess();

    // The Tesseract model for a recognition language ("zh-Hans" → "chi_sim");
    // empty for a language without one.
    static QString modelName(const QString& language);

private:
    struct Pool;
    std::unique_ptr<Pool> pool;
};

} // namespace kelpie
