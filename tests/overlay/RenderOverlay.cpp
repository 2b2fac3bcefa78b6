// Developer command: renders the selection overlay over a fixture, in the
// states worth looking at, at 1× and 2×.
//
//   render_overlay [OUTPUT_DIR] [--fixture IMAGE]
//
// Without --fixture a made-up desktop is drawn. A fixture image is taken to
// be at 1× for the 1× renderings and scaled up for the 2× ones.

#include "OverlayFixture.h"
#include "overlay/SelectionPreview.h"

#include <QApplication>
#include <QDir>
#include <QImage>

#include <cstdio>

using namespace kelpie;

namespace {

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

} // namespace

int main(int argc, char* argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QString outputDir = QStringLiteral("overlay-preview");
    QString fixturePath;
    const QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QStringLiteral("--fixture") && i + 1 < args.size())
            fixturePath = args[++i];
        else
            outputDir = args[i];
    }
    QDir dir(outputDir);
    if (!dir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "render_overlay: cannot create %s\n", qPrintable(outputDir));
        return 1;
    }

    bool ok = true;
    for (const double ratio : {1.0, 2.0}) {
        const Scene s = scene(fixturePath, ratio);
        if (s.image.isNull()) {
            std::fprintf(stderr, "render_overlay: cannot read %s\n", qPrintable(fixturePath));
            return 1;
        }
        const QString suffix = QStringLiteral("-%1x.png").arg(static_cast<int>(ratio));
        const double h = s.image.height() / ratio;

        SelectionPreview::Options hover;
        hover.devicePixelRatio = ratio;
        hover.targets = s.windows;
        hover.pointer = Point{430, h - 330};
        ok &= save(SelectionPreview::render(s.image, hover), dir, QStringLiteral("hover") + suffix);

        SelectionPreview::Options selected;
        selected.devicePixelRatio = ratio;
        selected.targets = s.windows;
        selected.selection = Rect(300, h - 640, 620, 380);
        selected.pointer = Point{433, h - 291};
        ok &= save(SelectionPreview::render(s.image, selected), dir,
                   QStringLiteral("selection") + suffix);

        selected.appearance = CoreAppearance::Appearance::dark;
        ok &= save(SelectionPreview::render(s.image, selected), dir,
                   QStringLiteral("selection-dark") + suffix);

        SelectionPreview::Options edge;
        edge.devicePixelRatio = ratio;
        edge.pointer = Point{1435, h - 3};
        edge.status = QStringLiteral("窗口已关闭或无法捕获，请重新选择或拖动截图区域");
        ok &= save(SelectionPreview::render(s.image, edge), dir, QStringLiteral("edge") + suffix);

        ok &= save(SelectionPreview::renderSelection(s.image, true, ratio), dir,
                   QStringLiteral("launch-window-highlight") + suffix);
        ok &= save(SelectionPreview::renderSelection(s.image, false, ratio), dir,
                   QStringLiteral("launch-selection") + suffix);
    }
    return ok ? 0 : 1;
}
