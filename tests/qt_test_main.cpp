#include "test_environment.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    isolateTestEnvironment();
    // Widgets, fonts and painters need an application object; tests run headless.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
