// Shows two windows through the Qt view and drives the z-order operations on
// commands read from stdin, one per line, answering one line each:
//   ids            -> "A <id> B <id>" (X window ids, decimal)
//   fg             -> the foreground window id (0 for none)
//   top X | untop X  (X = A or B) -> "ok"
//   raise          -> one always-on-top step for A: when another window is in
//                     the foreground, take it out of the top band, put A in
//   pos X          -> the model's left and top in twips
//   quit
#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <iostream>
#include <string>

#include "ui/window.h"
#include "view/qt_scheduler.h"
#include "view/qt_window_host.h"
#include "view/qt_z_order.h"

namespace {

class ProbeWindow final : public fhsw::Window {
public:
    ProbeWindow(fhsw::UiContext& ui, const std::string& name, float left, float top)
        : Window(ui, name, "PROBE " + name), label_(*this, "NAME_LABEL", name, {120, 120, 2000, 375}),
          left_(left), top_(top) {}

protected:
    void load() override {
        setLeft(left_);
        setTop(top_);
        setWidth(4590);
        setHeight(2435);
    }

private:
    fhsw::Label label_;
    float left_, top_;
};

void Spin(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    fhsw::QtScheduler scheduler;
    fhsw::QtWindowHost host;
    host.onLastWindowClosed = [] {};
    fhsw::UiContext ui{scheduler, host};
    ProbeWindow a(ui, "A", 1500, 1500), b(ui, "B", 6000, 3000);
    a.show();
    b.show();
    Spin(500);
    auto z = fhsw::MakeZOrder(host);
    std::cout << "ready " << QGuiApplication::platformName().toStdString() << std::endl;

    auto pick = [&](const std::string& which) -> fhsw::Window* {
        if (which == "A") return &a;
        if (which == "B") return &b;
        return nullptr;
    };
    std::string line;
    while (std::getline(std::cin, line)) {
        Spin(50);
        const auto space = line.find(' ');
        const std::string cmd = line.substr(0, space);
        const std::string arg = space == std::string::npos ? "" : line.substr(space + 1);
        if (cmd == "quit") break;
        if (cmd == "ids") {
            std::cout << "A " << z->handleOf(a) << " B " << z->handleOf(b) << std::endl;
        } else if (cmd == "fg") {
            std::cout << z->foregroundWindow() << std::endl;
        } else if ((cmd == "top" || cmd == "untop") && pick(arg)) {
            z->setTopmost(z->handleOf(*pick(arg)), cmd == "top");
            Spin(100);
            std::cout << "ok" << std::endl;
        } else if (cmd == "raise") {
            if (z->handleOf(a) != z->foregroundWindow()) {
                z->setTopmost(z->foregroundWindow(), false);
                z->setTopmost(z->handleOf(a), true);
            }
            Spin(100);
            std::cout << "ok" << std::endl;
        } else if (cmd == "pos" && pick(arg)) {
            std::cout << pick(arg)->left() << " " << pick(arg)->top() << std::endl;
        } else {
            std::cout << "unknown" << std::endl;
        }
    }
    a.close();
    b.close();
    return 0;
}
