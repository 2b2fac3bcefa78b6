#include <QApplication>

#include <cstdio>

namespace {

// Qt aborts with a terse plug-in error when it cannot reach an X server;
// say plainly what is missing instead.
bool hasDisplayToRunOn()
{
    return qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY");
}

} // namespace

// The application controller is not built yet: the executable starts the
// toolkit, so that the build, the libraries and the display connection are
// exercised end to end, and leaves again.
int main(int argc, char* argv[])
{
    if (!hasDisplayToRunOn()) {
        std::fputs("Kelpie needs an X11 display: DISPLAY is not set.\n", stderr);
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelpie"));
    QApplication::setQuitOnLastWindowClosed(false);
    return 0;
}
