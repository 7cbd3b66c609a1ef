#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    // Widgets, fonts and painters need an application object; tests run headless.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Printing never reaches the machine's scheduler: with a printer there, Qt would fall back
    // to it wherever a test leaves no file to print to. Only a scheduler that a test starts
    // itself is named, through VANTREL_TEST_CUPS_SERVER; else a socket that cannot exist.
    const QByteArray ownScheduler = qgetenv("VANTREL_TEST_CUPS_SERVER");
    qputenv("CUPS_SERVER", ownScheduler.isEmpty() ? QByteArray("/nonexistent/vantrel-tests/cups.sock") : ownScheduler);
    qunsetenv("LPDEST");
    qunsetenv("PRINTER");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
