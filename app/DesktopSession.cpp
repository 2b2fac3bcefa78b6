#include "app/DesktopSession.h"

namespace kelpie::DesktopSession {
namespace {

bool isSet(const QProcessEnvironment& environment, const char* name)
{
    return !environment.value(QString::fromLatin1(name)).isEmpty();
}

} // namespace

Kind detect(const QProcessEnvironment& environment)
{
    // A session manager says what it started; a compositor's socket says
    // the same when a program is started outside the session's own tree.
    const QString type = environment.value(QStringLiteral("XDG_SESSION_TYPE")).trimmed();
    if (type.compare(QLatin1String("wayland"), Qt::CaseInsensitive) == 0
        || isSet(environment, "WAYLAND_DISPLAY"))
        return Kind::wayland;
    return Kind::x11;
}

bool hasDisplay(const QProcessEnvironment& environment)
{
    return isSet(environment, "QT_QPA_PLATFORM") || isSet(environment, "DISPLAY")
        || isSet(environment, "WAYLAND_DISPLAY");
}

} // namespace kelpie::DesktopSession
