// bench_pins: ten pins of 3840 × 2160 composites in one process, on the X
// server of DISPLAY (run it under tests/support/with-xvfb --wm). Prints
// the private memory each pin adds, the time from construction to the first
// painted picture, how much of the other pins repaints while one of them is
// dragged about, and the memory left once all are closed.

#include "annotation/AnnotationDocument.h"
#include "canvas/AnnotationCanvas.h"
#include "canvas/AnnotationWindow.h"
#include "editor/ImageWindow.h"
#include "settings/AppPreferences.h"
#include "settings/PreferencesStore.h"
#include "tests/support/EventLoopWait.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPaintEvent>
#include <QScreen>
#include <QTemporaryDir>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

using namespace kelpie;

namespace {

constexpr int pinCount = 10;
constexpr QSize imageSize(3840, 2160);

// Private memory of the process (private resident pages plus swap), after
// handing freed heap pages back.
double privateMegabytes()
{
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

// A screenshot-like picture: bands and blocks, different per pin so that no
// two share pixels.
QImage screen(int seed)
{
    // Opaque 32-bit pixels, as a capture of the screen gives them.
    QImage image(imageSize, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = qRgb((x / 40 + seed * 17) % 256, (y / 30 + seed * 31) % 256,
                           ((x + y) / 64) % 256);
    }
    return image;
}

// Counts the pixels a widget repaints.
class PaintCounter : public QObject {
public:
    qint64 pixels = 0;
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
            for (const QRect& r : static_cast<QPaintEvent*>(event)->region())
                pixels += qint64(r.width()) * r.height();
        }
        return QObject::eventFilter(watched, event);
    }
};

void settle()
{
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

int main(int argc, char* argv[])
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    QApplication application(argc, argv);
    QScreen* display = QGuiApplication::primaryScreen();
    if (!display) {
        std::fprintf(stderr, "bench_pins: no screen\n");
        return 1;
    }
    auto preferences = std::make_shared<AppPreferences>(
        PreferencesStore::suite(QStringLiteral("com.kelpie.bench-pins.1")));
    const QRect visible = display->availableGeometry();
    std::printf("screen %d × %d at %.2g×, %d pins of %d × %d\n", visible.width(),
                visible.height(), display->devicePixelRatio(), pinCount, imageSize.width(),
                imageSize.height());

    // Each picture is made just before its pin opens and then belongs to the
    // pin alone, as a capture's crop does: what a pin adds includes its
    // pixels.
    const double pictureMegabytes = imageSize.width() * imageSize.height() * 4 / 1048576.0;
    settle();
    const double before = privateMegabytes();

    // Ten pins side by side, each zoomed out to a fifth of the screen's
    // width, so that moving one uncovers nothing of another.
    std::vector<std::unique_ptr<ImageWindow>> pins;
    std::vector<double> openMs;
    std::vector<double> added;
    const double width = visible.width() / 5.0 - 8;
    for (int i = 0; i < pinCount; ++i) {
        const double start = privateMegabytes();
        QImage picture = screen(i);
        QElapsedTimer timer;
        timer.start();
        // The preferred frame is in desktop space (y up from the primary
        // screen's bottom).
        const double height = width * imageSize.height() / imageSize.width();
        const double x = visible.x() + (i % 5) * (width + 8);
        const double top = visible.y() + (i / 5) * (height + 80) + 80;
        const Rect frame(x, display->geometry().height() - top - height, width, height);
        auto pin = std::make_unique<ImageWindow>(
            std::make_unique<AnnotationDocument>(std::move(picture)), true, preferences, std::nullopt,
            frame);
        PaintCounter firstPaint;
        pin->canvas()->installEventFilter(&firstPaint);
        kelpie::test::waitFor([&] { return firstPaint.paints > 0; });
        openMs.push_back(timer.nsecsElapsed() / 1e6);
        pin->canvas()->removeEventFilter(&firstPaint);
        settle();
        added.push_back(privateMegabytes() - start);
        pins.push_back(std::move(pin));
    }
    const double opened = privateMegabytes();
    for (int i = 0; i < pinCount; ++i)
        std::printf("pin %2d: open %.1f ms, private memory +%.1f MB (%.2f × its pixels)\n", i + 1,
                    openMs[i], added[i], added[i] / pictureMegabytes);
    std::printf("ten pins: +%.1f MB private memory, %.1f MB per pin (%.2f × the %.1f MB of "
                "pixels); median open %.1f ms\n",
                opened - before, (opened - before) / pinCount,
                (opened - before) / pinCount / pictureMegabytes, pictureMegabytes,
                [&] {
                    auto sorted = openMs;
                    std::sort(sorted.begin(), sorted.end());
                    return (sorted[pinCount / 2 - 1] + sorted[pinCount / 2]) / 2;
                }());

    // Drag the first pin about in the free band below the others; count
    // what the other nine repaint.
    std::vector<std::unique_ptr<PaintCounter>> counters;
    for (int i = 1; i < pinCount; ++i) {
        counters.push_back(std::make_unique<PaintCounter>());
        pins[i]->canvas()->installEventFilter(counters.back().get());
    }
    PaintCounter moved;
    pins[0]->canvas()->installEventFilter(&moved);
    QWidget* first = pins[0]->window();
    const QPoint origin(visible.x() + 20, visible.bottom() - first->height() - 20);
    QElapsedTimer moveTimer;
    moveTimer.start();
    constexpr int steps = 60;
    for (int step = 0; step < steps; ++step) {
        first->move(origin + QPoint(step * 8, 0));
        QCoreApplication::processEvents();
    }
    settle();
    const double moveMs = moveTimer.nsecsElapsed() / 1e6;
    qint64 othersPixels = 0;
    int othersPaints = 0;
    for (const auto& counter : counters) {
        othersPixels += counter->pixels;
        othersPaints += counter->paints;
    }
    std::printf("moving one pin %d times (%.1f ms in all, %.2f ms a step): the other nine "
                "repainted %d times, %lld pixels; the moved pin itself %d times\n",
                steps, moveMs, moveMs / steps, othersPaints, static_cast<long long>(othersPixels),
                moved.paints);
    for (int i = 1; i < pinCount; ++i)
        pins[i]->canvas()->removeEventFilter(counters[i - 1].get());
    pins[0]->canvas()->removeEventFilter(&moved);

    // Close them all and let the deferred tear-down run.
    for (auto& pin : pins) {
        pin->onClose = nullptr;
        pin->close();
    }
    pins.clear();
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        settle();
    }
    const double after = privateMegabytes();
    std::printf("after closing all ten: %+.1f MB against before they opened\n", after - before);
    return 0;
}
