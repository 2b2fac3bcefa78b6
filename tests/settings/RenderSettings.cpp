// Pictures of the settings window for a developer to look at: at 1×, 1.5×
// and 2×, light and dark, with and without a message in the error line.
// Each scale runs in a process of its own whose screens have that scale.
//
//   render_settings DIR

#include "settings/SettingsPreview.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QScreen>

#include <cstdio>

using namespace kelpie;

namespace {

const QString childFlag = QStringLiteral("--at-process-scale");

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
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QString outputDir = QStringLiteral("settings-preview");
    bool child = false;
    const QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == childFlag)
            child = true;
        else
            outputDir = args[i];
    }
    QDir dir(outputDir);
    if (!dir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "render_settings: cannot create %s\n", qPrintable(outputDir));
        return 1;
    }
    if (child)
        return renderAtProcessScale(dir);

    bool ok = true;
    for (const char* scale : {"1", "1.5", "2"}) {
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::fromLatin1(scale));
        process.setProcessEnvironment(environment);
        process.start(QCoreApplication::applicationFilePath(), {dir.absolutePath(), childFlag});
        ok &= process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit
            && process.exitCode() == 0;
    }
    return ok ? 0 : 1;
}
