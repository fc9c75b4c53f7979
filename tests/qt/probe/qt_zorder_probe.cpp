// Shows two windows through the Qt view and drives the z-order operations on
// commands read from stdin, one per line, answering one line each:
//   ids            -> "A <id> B <id>" (X window ids, decimal)
//   fg             -> the foreground window id (0 for none)
//   top X | untop X  (X = A or B) -> "ok"
//   raise          -> one always-on-top step for A, as the main window takes
//                     it: when another window is in the foreground, take it
//                     out of the top band, put A in; "ok"
//   pos X          -> the model's left and top in twips
//   quit
#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <iostream>
#include <string>

#include "ui/window.h"
#include "view/qt/qt_scheduler.h"
#include "view/qt/qt_window_host.h"
#include "view/qt/qt_z_order.h"

static void Spin(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    fhsw::QtScheduler scheduler;
    fhsw::QtWindowHost host;
    fhsw::UiContext ui{scheduler, host};
    fhsw::Window a(ui, "A", "PROBE A"), b(ui, "B", "PROBE B");
    for (fhsw::Window* w : {&a, &b}) {
        w->setLeft(w == &a ? 1500 : 6000);
        w->setTop(w == &a ? 1500 : 3000);
        w->setWidth(4590);
        w->setHeight(2435);
        w->show();
    }
    Spin(500);
    auto z = fhsw::MakeZOrder(host);
    std::cout << "ready " << QGuiApplication::platformName().toStdString() << std::endl;

    for (std::string line; std::getline(std::cin, line) && line != "quit";) {
        Spin(50);
        const std::string cmd = line.substr(0, line.find(' '));
        const std::string arg = line.substr(cmd.size() + (cmd.size() < line.size()));
        fhsw::Window* w = arg == "A" ? &a : arg == "B" ? &b : nullptr;
        if (cmd == "ids") {
            std::cout << "A " << z->handleOf(a) << " B " << z->handleOf(b);
        } else if (cmd == "fg") {
            std::cout << z->foregroundWindow();
        } else if (cmd == "pos" && w) {
            std::cout << w->left() << " " << w->top();
        } else if ((cmd == "top" || cmd == "untop") && w) {
            z->setTopmost(z->handleOf(*w), cmd == "top");
        } else if (cmd == "raise" && z->handleOf(a) != z->foregroundWindow()) {
            z->setTopmost(z->foregroundWindow(), false);
            z->setTopmost(z->handleOf(a), true);
        }
        if (cmd == "top" || cmd == "untop" || cmd == "raise") {
            Spin(100);
            std::cout << "ok";
        }
        std::cout << std::endl;
    }
    a.close();
    b.close();
    return 0;
}
