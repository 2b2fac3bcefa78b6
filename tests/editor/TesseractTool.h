#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

namespace kelpie::test {

// Milliseconds the tesseract command takes to read `image` on one thread
// with the three models the recogniser uses (simplified and traditional
// Chinese, English), from start to exit; -1 when it fails. The yardstick
// for the recogniser's own figures.
inline double tesseractTool(const QImage& image)
{
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("screen.png"));
    if (!image.save(png))
        return -1;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("OMP_THREAD_LIMIT"), QStringLiteral("1"));
    process.setProcessEnvironment(environment);
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral("tesseract"),
                  {png, QStringLiteral("stdout"), QStringLiteral("-l"),
                   QStringLiteral("chi_sim+chi_tra+eng")});
    if (!process.waitForFinished(600000) || process.exitCode() != 0)
        return -1;
    return double(clock.nsecsElapsed()) / 1e6;
}

} // namespace kelpie::test
