#pragma once

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <functional>
#include <initializer_list>

namespace kelpie::test {

// The entry of a developer command that renders pictures at several scales:
// `command [OUTPUT_DIR]`. Qt fixes its scale factor when it starts, so each
// scale is drawn by a child process of this same program, started with the
// scale in QT_SCALE_FACTOR (and whatever `environmentFor` adds) and a flag
// that makes it call `renderAtProcessScale` on the output folder.
inline int renderAtScales(
    int argc, char* argv[], const char* command, const QString& defaultDir,
    const std::function<int(const QDir&)>& renderAtProcessScale,
    std::initializer_list<double> scales = {1.0, 1.5, 2.0},
    const std::function<bool(QProcessEnvironment&, double scale)>& environmentFor = {})
{
    const QString childFlag = QStringLiteral("--at-process-scale");
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QString outputDir = defaultDir;
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
        std::fprintf(stderr, "%s: cannot create %s\n", command, qPrintable(outputDir));
        return 1;
    }
    if (child)
        return renderAtProcessScale(dir);

    bool ok = true;
    for (const double scale : scales) {
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::number(scale));
        if (environmentFor && !environmentFor(environment, scale)) {
            ok = false;
            continue;
        }
        process.setProcessEnvironment(environment);
        process.start(QCoreApplication::applicationFilePath(), {dir.absolutePath(), childFlag});
        ok &= process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit
            && process.exitCode() == 0;
    }
    return ok ? 0 : 1;
}

} // namespace kelpie::test
