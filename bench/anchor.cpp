// The anchor of the start-up, memory and idle figures: a bare Qt 6 window of
// the main window's default size (10050 x 3285 twips, 670 x 219 pixels) and
// nothing else, measured in the same run as the program.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle("FH-SW - BARE QT ANCHOR");
    window.resize(670, 219);
    window.show();
    return app.exec();
}
