#pragma once

#include "tests/support/EventLoopWait.h"

#include <QByteArray>
#include <QProcess>
#include <QString>

#include <optional>

namespace kelpie::test {

// Runs xclip reading CLIPBOARD as `target` while this process keeps
// answering the selection requests xclip makes of it.
inline std::optional<QByteArray> readClipboard(const QString& target)
{
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"),
                {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-t"),
                 target, QStringLiteral("-o")});
    if (!xclip.waitForStarted())
        return std::nullopt;
    QByteArray out;
    const bool finished = waitFor([&] {
        out += xclip.readAllStandardOutput();
        return xclip.state() == QProcess::NotRunning;
    });
    out += xclip.readAllStandardOutput();
    if (!finished || xclip.exitStatus() != QProcess::NormalExit || xclip.exitCode() != 0)
        return std::nullopt;
    return out;
}

} // namespace kelpie::test
