// kelpie-recognizer: Kelpie's text recognition helper. Kelpie starts it with
// its end of a socket on descriptor 3 and ends it by closing the socket; it
// is of no use on its own.

#include "platform/RecognitionHelper.h"
#include "platform/TextRecognizerModule.h"
#include "text/TextRecognizer.h"

#include <QGuiApplication>

#include <cstdio>

#include <fcntl.h>

int main(int argc, char* argv[])
{
    constexpr int socketFd = 3;
    if (fcntl(socketFd, F_GETFD) < 0) {
        std::fputs("kelpie-recognizer is started by Kelpie when it reads text; it is of no use "
                   "on its own.\n",
                   stderr);
        return 2;
    }
    // The recogniser draws reference glyphs, which takes a GUI application;
    // it never shows anything, so it needs no display connection.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    kelpie::RecognitionHelper::serve(socketFd, kelpie::TextRecognizerModule::make());
    return 0;
}
