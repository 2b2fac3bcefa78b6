// The entry points of the recognition module: Tesseract and the forty
// libraries it pulls in (image codecs, network and crypto libraries of its
// own) are loaded by the first window that reads text, not by every start
// of the program.

#include "platform/TesseractTextRecognizer.h"

extern "C" {

__attribute__((visibility("default"))) kelpie::TextRecognizer* kelpieCreateTextRecognizer()
{
    return new kelpie::TesseractTextRecognizer();
}

__attribute__((visibility("default"))) void kelpieDestroyTextRecognizer(kelpie::TextRecognizer* recognizer)
{
    delete recognizer;
}

__attribute__((visibility("default"))) int kelpieModelLoadsInProcess()
{
    return kelpie::TesseractTextRecognizer::modelLoadsInProcess();
}

} // extern "C"
