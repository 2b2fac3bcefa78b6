// Developer command: renders the selection overlay over a fixture, in the
// states worth looking at, at 1×, 1.25×, 1.5× and 2×, light and dark.
//
//   render_overlay [OUTPUT_DIR] [--fixture IMAGE]
//
// Without --fixture a made-up desktop is drawn. A fixture image is taken to
// be at 1× and scaled up for the other scales. Each scale runs in a process
// of its own whose screens have that scale, and the pictures are read from
// the windows' backing stores: exactly the pixels a screen would show.

#include "OverlayFixture.h"
#include "overlay/OverlaySpace.h"
#include "overlay/SelectionPreview.h"
#include "overlay/SelectionView.h"

#include <QApplication>
#include <QBackingStore>
#include <QDir>
#include <QImage>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>

#include <cstdio>

using namespace kelpie;

namespace {

const QString childFlag = QStringLiteral("--at-process-scale");

struct Scene {
    QImage image;
    std::vector<WindowTarget> windows;
};

Scene scene(const QString& fixturePath, double ratio)
{
    constexpr int width = 1440;
    constexpr int height = 900;
    if (fixturePath.isEmpty()) {
        auto desktop = test::makeDesktopFixture(width, height, ratio);
        return {desktop.image, desktop.windows};
    }
    QImage image(fixturePath);
    if (image.isNull())
        return {};
    image = image.scaled(image.size() * ratio, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return {image, {}};
}

std::vector<std::pair<QString, SelectionPreview::Options>> states(const Scene& s, double ratio)
{
    const double w = std::floor(s.image.width() / ratio);
    const double h = std::floor(s.image.height() / ratio);
    std::vector<std::pair<QString, SelectionPreview::Options>> out;

    SelectionPreview::Options hover;
    hover.devicePixelRatio = ratio;
    hover.targets = s.windows;
    hover.pointer = Point{430, h - 330};
    out.emplace_back(QStringLiteral("hover"), hover);

    SelectionPreview::Options selected;
    selected.devicePixelRatio = ratio;
    selected.targets = s.windows;
    selected.selection = Rect(300, h - 640, 620, 380);
    selected.pointer = Point{433, h - 291};
    out.emplace_back(QStringLiteral("selection"), selected);
    selected.appearance = CoreAppearance::Appearance::dark;
    out.emplace_back(QStringLiteral("selection-dark"), selected);

    // The whole screen selected: the action bar at its widest.
    SelectionPreview::Options whole;
    whole.devicePixelRatio = ratio;
    whole.selection = Rect(0, 0, w, h);
    whole.pointer = Point{w / 2, h / 2};
    out.emplace_back(QStringLiteral("whole"), whole);

    SelectionPreview::Options edge;
    edge.devicePixelRatio = ratio;
    edge.pointer = Point{w - 5, h - 3};
    edge.status = QStringLiteral("窗口已关闭或无法捕获，请重新选择或拖动截图区域");
    out.emplace_back(QStringLiteral("edge"), edge);
    return out;
}

void settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
        QCoreApplication::processEvents();
    }
}

// Shows the view as a window on this process's screen and reads back what
// the window shows.
QImage shown(SelectionView& view, const std::optional<Point>& pointer)
{
    view.show();
    settle();
    if (pointer) {
        const QPointF at = OverlaySpace::widgetPoint(*pointer, view.height());
        QMouseEvent move(QEvent::MouseMove, at, view.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(&view, &move);
        settle();
    }
    view.repaint();
    QPaintDevice* device = view.backingStore()->paintDevice();
    if (!device || device->devType() != QInternal::Image)
        return {};
    return static_cast<QImage*>(device)->copy();
}

bool save(const QImage& image, const QDir& dir, const QString& name)
{
    const QString path = dir.filePath(name);
    if (image.isNull() || !image.save(path)) {
        std::fprintf(stderr, "render_overlay: could not write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

int renderAtProcessScale(const QDir& dir, const QString& fixturePath)
{
    const double ratio = QGuiApplication::primaryScreen()->devicePixelRatio();
    const Scene s = scene(fixturePath, ratio);
    if (s.image.isNull()) {
        std::fprintf(stderr, "render_overlay: cannot read %s\n", qPrintable(fixturePath));
        return 1;
    }
    const QString suffix = QStringLiteral("-%1x.png").arg(ratio);
    bool ok = true;
    for (const auto& [name, options] : states(s, ratio)) {
        const auto view = SelectionPreview::makeView(s.image, options);
        ok &= view && save(shown(*view, options.pointer), dir, name + suffix);
    }
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QString outputDir = QStringLiteral("overlay-preview");
    QString fixturePath;
    bool child = false;
    const QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QStringLiteral("--fixture") && i + 1 < args.size())
            fixturePath = args[++i];
        else if (args[i] == childFlag)
            child = true;
        else
            outputDir = args[i];
    }
    QDir dir(outputDir);
    if (!dir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "render_overlay: cannot create %s\n", qPrintable(outputDir));
        return 1;
    }
    if (child)
        return renderAtProcessScale(dir, fixturePath);

    bool ok = true;
    for (const char* scale : {"1", "1.25", "1.5", "2"}) {
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::fromLatin1(scale));
        process.setProcessEnvironment(environment);
        QStringList arguments{dir.absolutePath(), childFlag};
        if (!fixturePath.isEmpty())
            arguments << QStringLiteral("--fixture") << fixturePath;
        process.start(QCoreApplication::applicationFilePath(), arguments);
        ok &= process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit
            && process.exitCode() == 0;
    }
    return ok ? 0 : 1;
}
