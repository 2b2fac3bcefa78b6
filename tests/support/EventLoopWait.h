#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStringList>

#include <functional>

namespace kelpie::test {

// Runs the event loop until `condition` holds; false if it still does not
// after `milliseconds`. Tests on a real X server wait for the server and the
// window manager this way instead of sleeping for a guessed time.
inline bool waitFor(const std::function<bool()>& condition, int milliseconds = 10000)
{
    QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Runs xdotool with `arguments`; true when it succeeded.
inline bool xdotool(const QStringList& arguments)
{
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}

} // namespace kelpie::test
