// PNG encoding of screenshot-like composites on the copy and save paths:
// Kelpie's fast encoder against Qt's default PNG writer and libpng at its
// default settings (the size reference). Each run reports the median time
// and, as counters, the file size and its ratio to libpng's default size.
#include "ExportSamples.h"
#include "editor/PngEncoder.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImageWriter>

#include <benchmark/benchmark.h>

#include <map>
#include <png.h>
#include <vector>

namespace {

using kelpie::PngEncoder;

const QImage& composite(int height)
{
    static std::map<int, QImage> cache;
    auto found = cache.find(height);
    if (found == cache.end())
        found = cache
                    .emplace(height,
                             kelpie::test::screenshotComposite(QSize(height * 16 / 9, height)))
                    .first;
    return found->second;
}

QByteArray qtPng(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.write(image);
    return bytes;
}

void appendToBuffer(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<QByteArray*>(png_get_io_ptr(png));
    out->append(reinterpret_cast<const char*>(data), static_cast<qsizetype>(length));
}

// libpng with nothing tuned: default compression level, strategy and
// adaptive filters, on the same RGB pixels the fast encoder writes.
QByteArray libpngDefault(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    QByteArray out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, appendToBuffer, nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(rgb.width()),
                 static_cast<png_uint_32>(rgb.height()), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < rgb.height(); ++y)
        png_write_row(png, rgb.constScanLine(y));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

qsizetype referenceSize(int height)
{
    static std::map<int, qsizetype> sizes;
    auto found = sizes.find(height);
    if (found == sizes.end())
        found = sizes.emplace(height, libpngDefault(composite(height)).size()).first;
    return found->second;
}

void report(benchmark::State& state, int height, qsizetype bytes)
{
    state.counters["bytes"] = static_cast<double>(bytes);
    state.counters["x_libpng_default"]
        = static_cast<double>(bytes) / static_cast<double>(referenceSize(height));
}

void BM_FastPng(benchmark::State& state)
{
    const int height = static_cast<int>(state.range(0));
    const QImage& image = composite(height);
    qsizetype bytes = 0;
    for (auto _ : state) {
        const auto png = PngEncoder::encode(image);
        if (!png) {
            state.SkipWithError("encoding failed");
            return;
        }
        bytes = png->size();
    }
    report(state, height, bytes);
}

// The fast encoder with a chosen filter and level, to compare settings.
void BM_FastPngSettings(benchmark::State& state)
{
    const int height = static_cast<int>(state.range(0));
    const PngEncoder::Options options{static_cast<PngEncoder::Filter>(state.range(1)),
                                      static_cast<int>(state.range(2))};
    const QImage& image = composite(height);
    qsizetype bytes = 0;
    for (auto _ : state)
        bytes = PngEncoder::encode(image, options).value_or(QByteArray()).size();
    report(state, height, bytes);
}

void BM_QtPng(benchmark::State& state)
{
    const int height = static_cast<int>(state.range(0));
    const QImage& image = composite(height);
    qsizetype bytes = 0;
    for (auto _ : state)
        bytes = qtPng(image).size();
    report(state, height, bytes);
}

void BM_LibpngDefault(benchmark::State& state)
{
    const int height = static_cast<int>(state.range(0));
    const QImage& image = composite(height);
    qsizetype bytes = 0;
    for (auto _ : state)
        bytes = libpngDefault(image).size();
    report(state, height, bytes);
}

constexpr int repetitions = 9;

BENCHMARK(BM_FastPng)
    ->Arg(1080)
    ->Arg(2160)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(repetitions)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_QtPng)
    ->Arg(1080)
    ->Arg(2160)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_LibpngDefault)
    ->Arg(1080)
    ->Arg(2160)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_FastPngSettings)
    ->ArgsProduct({{1080}, {0, 1, 2, 4}, {0, 1, 2, 3}})
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // Text in the sample needs a GUI application, but no screen.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
