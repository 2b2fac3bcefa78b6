#pragma once

#include "text/RecognitionCancellation.h"
#include "text/TextAnalysis.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <stdexcept>

namespace kelpie {

// On-device text recognition of one image. The editor and pin windows hold
// one and call it off the main thread; tests replace it with a fake.
//
// analyze() may be called from any thread, also from several at once. It
// either returns the whole analysis or throws: Cancelled when the
// cancellation fired (never a partial result), Failure when the recogniser
// cannot work at all (no models, no memory).
class TextRecognizer {
public:
    struct Failure : std::runtime_error {
        using std::runtime_error::runtime_error;
    };

    // The recognition languages, most preferred first: simplified Chinese,
    // traditional Chinese, English.
    static QStringList languages()
    {
        return {QStringLiteral("zh-Hans"), QStringLiteral("zh-Hant"), QStringLiteral("en-US")};
    }

    virtual ~TextRecognizer() = default;

    virtual TextAnalysis analyze(const QImage& image, const RecognitionCancellation& cancellation)
        = 0;

    // Forgets the readings of lines seen before, so that the next analysis
    // reads every line anew (benchmarks time a warm recogniser that way).
    virtual void forgetLines() { }
};

} // namespace kelpie
