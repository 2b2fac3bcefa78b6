// Pictures of the settings window for a developer to look at: at 1×, 1.5×
// and 2×, light and dark, with and without a message in the error line.
// Each scale runs in a process of its own whose screens have that scale.
//
//   render_settings DIR

#include "settings/SettingsPreview.h"
#include "tests/support/RenderAtScales.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QScreen>

#include <cstdio>

using namespace kelpie;

namespace {

int renderAtProcessScale(const QDir& dir)
{
    const double ratio = QGuiApplication::primaryScreen()->devicePixelRatio();
    bool ok = true;
    for (const auto appearance :
         {CoreAppearance::Appearance::light, CoreAppearance::Appearance::dark}) {
        for (const bool error : {false, true}) {
            const QImage image = SettingsPreview::render(appearance, error);
            const QString name
                = QStringLiteral("settings-%1%2-%3x.png")
                      .arg(appearance == CoreAppearance::Appearance::dark ? QStringLiteral("dark")
                                                                          : QStringLiteral("light"),
                           error ? QStringLiteral("-error") : QString())
                      .arg(ratio);
            const QString path = dir.filePath(name);
            if (image.isNull() || !image.save(path, "PNG")) {
                std::fprintf(stderr, "render_settings: could not write %s\n", qPrintable(path));
                ok = false;
                continue;
            }
            std::printf("%s\n", qPrintable(path));
        }
    }
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    return kelpie::test::renderAtScales(argc, argv, "render_settings",
                                        QStringLiteral("settings-preview"), renderAtProcessScale);
}
