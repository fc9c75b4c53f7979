// The anchor of the start-up, memory and idle figures: a bare Qt 6 window of
// the main window's default size (10050 x 3285 twips, 670 x 219 pixels) and
// nothing else, measured in the same run as the program. With --text it
// shows one line of text as well: a window that draws text pays for setting
// up the fonts (fontconfig), which a bare window never does.
#include <QApplication>
#include <QLabel>
#include <QWidget>

#include <cstring>

int main(int argc, char** argv) {
    const bool text = argc > 1 && std::strcmp(argv[1], "--text") == 0;
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle("FH-SW - BARE QT ANCHOR");
    window.resize(670, 219);
    if (text) (new QLabel("READY...", &window))->move(20, 20);
    window.show();
    return app.exec();
}
