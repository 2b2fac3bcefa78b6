#include <QApplication>

// The application controller is not built yet: the executable starts the
// toolkit, so that the build, the libraries and the display connection are
// exercised end to end, and leaves again.
int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelpie"));
    QApplication::setQuitOnLastWindowClosed(false);
    return 0;
}
