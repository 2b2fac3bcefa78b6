#include "WindowHost.h"

namespace kelpie::testing {

WindowHost::WindowHost()
{
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral(KELPIE_WINDOW_HOST), {});
    process_.waitForStarted();
}

WindowHost::~WindowHost()
{
    if (!isRunning())
        return;
    process_.write("quit\n");
    if (!process_.waitForFinished(5000))
        process_.kill();
}

QString WindowHost::ask(const QString& line)
{
    if (!isRunning())
        return {};
    process_.write((line + QLatin1Char('\n')).toUtf8());
    while (!process_.canReadLine()) {
        if (!process_.waitForReadyRead(30000))
            return {};
    }
    return QString::fromUtf8(process_.readLine()).trimmed();
}

std::uint32_t WindowHost::create(const QString& description)
{
    const bool show = beforeShowing && !description.contains(QStringLiteral("unmapped"));
    const QString answer = ask(QStringLiteral("create ") + description
                               + (show ? QStringLiteral(" unmapped") : QString()));
    if (!answer.startsWith(QStringLiteral("window ")))
        return 0;
    const std::uint32_t id = answer.mid(7).toUInt();
    if (show) {
        beforeShowing();
        if (!command(QStringLiteral("map %1").arg(id)))
            return 0;
    }
    return id;
}

bool WindowHost::command(const QString& line) { return ask(line) == QStringLiteral("ok"); }

} // namespace kelpie::testing
