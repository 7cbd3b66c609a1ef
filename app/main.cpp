#include <QApplication>
#include <QMainWindow>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Vantrel");
    QMainWindow window;
    window.setWindowTitle("Untitled Organization");
    window.resize(1200, 800);
    window.show();
    return app.exec();
}
