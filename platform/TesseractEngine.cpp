#include "platform/TesseractEngine.h"

#include "text/TextRecognizer.h"

#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <atomic>
#include <dlfcn.h>
#include <mutex>
#include <omp.h>

namespace kelpie {

namespace {

// Tesseract's own defaults assume scanned pages of about 300 dpi; screen
// text at its natural size is nearer 96.
constexpr int screenResolution = 96;

// Models loaded by every engine of the process since it started.
std::atomic<int> modelsLoaded{0};

// What model loading skipped of the older recogniser (see the end of this
// file).
std::atomic<int> lookAlikeSkips{0};
std::atomic<int> adaptedClassSkips{0};

bool cancelRequested(void* flag, int)
{
    return static_cast<const RecognitionCancellation*>(flag)->isCancelled();
}

} // namespace

struct TesseractEngine::Model {
    tesseract::TessBaseAPI api;
};

TesseractEngine::TesseractEngine(const QStringList& modelNames)
    : names(modelNames), models(std::size_t(modelNames.size())),
      locks(std::make_unique<std::mutex[]>(std::size_t(modelNames.size())))
{
}

void TesseractEngine::load(int index)
{
    if (index < 0 || index >= int(models.size()))
        return;
    std::lock_guard lock(locks[std::size_t(index)]);
    loadLocked(index);
}

void TesseractEngine::loadLocked(int index)
{
    if (models[std::size_t(index)])
        return;
    // Some of Tesseract's settings are process-wide; set them once, before
    // any engine can be running.
    static std::once_flag quiet;
    const QString& name = names[index];
    auto model = std::make_unique<Model>();
    // Recognition without language correction: no word lists, so names,
    // numbers and mixed text are read as they are drawn. (The line
    // recogniser keeps its punctuation and number patterns: without them it
    // reads "Ctrl" as "Ctri".)
    // The adaptive classifier belongs to the older recogniser, which is
    // never used. (Tesseract 5.3 ignores the setting where it builds the
    // classifier's tables, forcing it on to avoid a crash elsewhere; the
    // end of this file keeps the tables empty.)
    const std::vector<std::string> keys{"load_system_dawg", "load_freq_dawg",
                                        "classify_enable_adaptive_matcher"};
    const std::vector<std::string> values{"0", "0", "0"};
    if (model->api.Init(nullptr, name.toUtf8().constData(), tesseract::OEM_LSTM_ONLY, nullptr, 0,
                        &keys, &values, false)
        != 0)
        throw TextRecognizer::Failure("cannot load the text recognition model "
                                      + name.toStdString());
    std::call_once(quiet, [&model] { model->api.SetVariable("debug_file", "/dev/null"); });
    // Lines arrive dark on white already; trying them inverted only costs
    // time.
    model->api.SetVariable("tessedit_do_invert", "0");
    // Every line is read by the network, which finds its own spaces; the
    // page layout's search for fixed-pitch text (a typewriter page's) only
    // costs time, some 5 % of a screen's reading.
    model->api.SetVariable("textord_all_prop", "1");
    model->api.SetPageSegMode(tesseract::PSM_SINGLE_LINE);
    models[std::size_t(index)] = std::move(model);
    modelsLoaded.fetch_add(1, std::memory_order_relaxed);
}

int TesseractEngine::loadsInProcess() { return modelsLoaded.load(std::memory_order_relaxed); }

TesseractEngine::OlderRecognizerSkips TesseractEngine::olderRecognizerSkips()
{
    return {lookAlikeSkips.load(std::memory_order_relaxed),
            adaptedClassSkips.load(std::memory_order_relaxed)};
}

TesseractEngine::~TesseractEngine()
{
    models.clear();
    // Tesseract keeps the dictionaries it loaded in a process-wide cache
    // beyond the life of its engines; the ones no engine uses any more go
    // with the last engine that used them.
    tesseract::TessBaseAPI::ClearPersistentCache();
}

void TesseractEngine::limitThreads()
{
    // Zero active levels makes every parallel region run on one thread,
    // whatever thread count the region asks for.
    omp_set_max_active_levels(0);
}

namespace {

// The readings the line recogniser weighed for the glyph at `it`.
std::vector<TextAnalysis::Choice> choicesAt(const tesseract::ResultIterator& it)
{
    std::vector<TextAnalysis::Choice> choices;
    tesseract::ChoiceIterator choice(it);
    do {
        if (const char* text = choice.GetUTF8Text())
            choices.push_back({QString::fromUtf8(text).trimmed(), choice.Confidence()});
    } while (choice.Next());
    return choices;
}

// Turns on the recogniser's list of choices for one reading.
class ChoicesOn {
public:
    ChoicesOn(tesseract::TessBaseAPI& engine, bool on) : api(on ? &engine : nullptr)
    {
        if (api)
            api->SetVariable("lstm_choice_mode", "2");
    }
    ~ChoicesOn()
    {
        if (api)
            api->SetVariable("lstm_choice_mode", "0");
    }
    ChoicesOn(const ChoicesOn&) = delete;
    ChoicesOn& operator=(const ChoicesOn&) = delete;

private:
    tesseract::TessBaseAPI* api;
};

} // namespace

TesseractEngine::Result TesseractEngine::recognize(const QImage& line, int model,
                                                   const RecognitionCancellation& cancellation,
                                                   bool withChoices)
{
    Result result;
    result.model = model;
    if (line.isNull() || model < 0 || model >= int(models.size()))
        return result;
    std::lock_guard lock(locks[std::size_t(model)]);
    loadLocked(model);
    tesseract::TessBaseAPI& api = models[std::size_t(model)]->api;
    const QImage grey = line.format() == QImage::Format_Grayscale8
        ? line
        : line.convertToFormat(QImage::Format_Grayscale8);
    api.SetImage(grey.constBits(), grey.width(), grey.height(), 1, int(grey.bytesPerLine()));
    api.SetSourceResolution(screenResolution);

    const ChoicesOn choicesOn(api, withChoices);
    tesseract::ETEXT_DESC monitor;
    monitor.cancel = &cancelRequested;
    monitor.cancel_this = const_cast<RecognitionCancellation*>(&cancellation);
    const int status = api.Recognize(&monitor);
    if (cancellation.isCancelled()) {
        api.Clear();
        throw RecognitionCancellation::Cancelled();
    }
    if (status != 0) {
        api.Clear();
        return result;
    }

    std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    double confidenceSum = 0;
    int words = 0;
    double wordConfidence = 0;
    if (it) {
        do {
            const bool startsWord = it->IsAtBeginningOf(tesseract::RIL_WORD);
            if (startsWord) {
                const double confidence = it->Confidence(tesseract::RIL_WORD);
                wordConfidence = confidence;
                confidenceSum += confidence;
                result.weakestWord
                    = words == 0 ? confidence : std::min(result.weakestWord, confidence);
                ++words;
            }
            std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_SYMBOL));
            int left = 0;
            int top = 0;
            int right = 0;
            int bottom = 0;
            if (!text || !it->BoundingBox(tesseract::RIL_SYMBOL, &left, &top, &right, &bottom))
                continue;
            TextAnalysis::Glyph glyph{QString::fromUtf8(text.get()).trimmed(),
                                      Rect(left, top, right - left, bottom - top), startsWord};
            if (glyph.text.isEmpty())
                continue;
            for (const uint c : glyph.text.toUcs4())
                result.hasHan = result.hasHan || TextAnalysis::isHan(c);
            result.glyphs.push_back(std::move(glyph));
            if (withChoices)
                result.choices.push_back(choicesAt(*it));
            result.wordConfidences.push_back(wordConfidence);
        } while (it->Next(tesseract::RIL_SYMBOL));
    }
    result.confidence = words > 0 ? confidenceSum / words : 0;
    api.Clear();
    return result;
}

} // namespace kelpie

// Loading a model builds two things for Tesseract's older recogniser alone,
// whatever the engine mode: its list of characters that look alike ("rn"
// and "m", "0" and "O"), parsed against the model's character set, and an
// empty adaptive classifier with a class, and a share of the class
// pruners, for every character. The line recogniser, the only one these
// engines use, reads neither. For a Chinese model, with thousands of
// characters, they are about three quarters of its loading time and some
// 35 MB of zeroed memory, and a first analysis loads up to three models.
//
// The two definitions below take the place of the library's own
// functions in the whole process: the library calls them through its
// table of exported functions, where the program and the recognition
// module come before it. The list stays empty, and the adaptive classifier
// keeps no classes, which is what it holds before it has learnt anything.
// No part of Kelpie runs the older recogniser. Should a later Tesseract
// name these functions differently, the definitions go unused and models
// load as before.
namespace tesseract {

class UNICHARSET;
class ADAPT_TEMPLATES_STRUCT;
class ADAPT_CLASS_STRUCT;

class __attribute__((visibility("default"))) UnicharAmbigs {
public:
    void LoadUniversal(const UNICHARSET& encoderSet, UNICHARSET* unicharset);
};

void UnicharAmbigs::LoadUniversal(const UNICHARSET&, UNICHARSET*)
{
    kelpie::lookAlikeSkips.fetch_add(1, std::memory_order_relaxed);
}

__attribute__((visibility("default"))) void AddAdaptedClass(ADAPT_TEMPLATES_STRUCT* templates,
                                                            ADAPT_CLASS_STRUCT* adapted,
                                                            int classId);

} // namespace tesseract

// The class the library made for the templates is freed with its own
// destructor. Looked up weakly: where the library lacks it, classes are
// added by the library's own function after all.
extern "C" void destroyAdaptedClass(void* adapted) __asm__("_ZN9tesseract18ADAPT_CLASS_STRUCTD1Ev")
    __attribute__((weak));

namespace {

using AddAdaptedClassFunction = void (*)(tesseract::ADAPT_TEMPLATES_STRUCT*,
                                         tesseract::ADAPT_CLASS_STRUCT*, int);

AddAdaptedClassFunction originalAddAdaptedClass()
{
    static const auto function = reinterpret_cast<AddAdaptedClassFunction>(
        dlsym(RTLD_NEXT, "_ZN9tesseract15AddAdaptedClassEPNS_22ADAPT_TEMPLATES_STRUCTEPNS_"
                         "18ADAPT_CLASS_STRUCTEi"));
    return function;
}

} // namespace

void tesseract::AddAdaptedClass(ADAPT_TEMPLATES_STRUCT* templates, ADAPT_CLASS_STRUCT* adapted,
                                int classId)
{
    if (destroyAdaptedClass) {
        destroyAdaptedClass(adapted);
        ::operator delete(static_cast<void*>(adapted));
        kelpie::adaptedClassSkips.fetch_add(1, std::memory_order_relaxed);
    } else if (const AddAdaptedClassFunction add = originalAddAdaptedClass()) {
        add(templates, adapted, classId);
    }
}
