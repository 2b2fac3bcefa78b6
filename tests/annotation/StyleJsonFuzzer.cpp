// fuzz_style_json: feeds arbitrary bytes to the stored-style and colour
// decoders. Built with libFuzzer when the compiler has it; otherwise the same
// entry point is driven by a small main that replays the files it is given,
// so the target keeps compiling and its checks run over the seed corpus.

#include "annotation/AnnotationStyle.h"

#include <QByteArray>
#include <QFile>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using kelpie::AnnotationColor;
using kelpie::AnnotationStyle;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data),
                                                     static_cast<qsizetype>(size));
    (void)AnnotationColor::fromJson(input);
    const auto style = AnnotationStyle::fromJson(input);
    if (!style)
        return 0;
    (void)style->valid();
    // JSON holds only finite numbers, so whatever decoded must encode again
    // and come back identical.
    const QByteArray encoded = style->toJson();
    if (encoded.isEmpty())
        std::abort();
    const auto again = AnnotationStyle::fromJson(encoded);
    if (!again || !(*again == *style))
        std::abort();
    return 0;
}

#ifndef KELPIE_LIBFUZZER
int main(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        QFile file(QString::fromLocal8Bit(argv[i]));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
        const QByteArray bytes = file.readAll();
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                               static_cast<std::size_t>(bytes.size()));
    }
    return 0;
}
#endif
