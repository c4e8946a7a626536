// GoogleTest entry point with the Qt application object the code under test
// needs: a core application for logic tests (event loops, sockets), a widgets
// application on the offscreen platform for window tests.
#include <gtest/gtest.h>

#ifdef TF_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
