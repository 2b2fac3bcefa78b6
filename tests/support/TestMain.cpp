#include <QApplication>

#include <gtest/gtest.h>

// Every test binary gets an application object, so widget and image tests
// need no set-up of their own. Without an X server of their own, tests draw
// on Qt's offscreen platform.
int main(int argc, char* argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
