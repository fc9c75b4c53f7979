#include "view/qt/qt_window_host.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <map>

#include "view/qt/qt_window_view.h"

namespace fhsw {

struct QtWindowHost::State {
    std::map<const Window*, QPointer<QtWindowView>> views;
};

QtWindowHost::QtWindowHost()
    : onLastWindowClosed([] { QCoreApplication::quit(); }), state_(std::make_shared<State>()) {}

QtWindowHost::~QtWindowHost() {
    // Children (owned dialogs) go with their owner's view.
    auto views = std::move(state_->views);
    state_->views.clear();
    for (auto& [window, view] : views)
        if (view && !view->parent()) delete view.data();
    for (auto& [window, view] : views)
        if (view) delete view.data();
}

QtWindowView* QtWindowHost::open(Window& window, bool modal) {
    if (QtWindowView* existing = viewOf(window)) return existing;
    QWidget* parent = window.owner() ? widgetOf(*window.owner()) : nullptr;
    auto* view = new QtWindowView(window, parent);
    state_->views[&window] = view;

    std::weak_ptr<State> weak = state_;
    const bool topLevel = !modal;
    view->onDetached = [this, weak, key = &window, topLevel] {
        auto state = weak.lock();
        if (!state) return;
        state->views.erase(key);
        if (topLevel && state->views.empty() && onLastWindowClosed) onLastWindowClosed();
    };
    if (modal) view->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    return view;
}

void QtWindowHost::show(Window& window) {
    if (window.isClosed()) return;
    QtWindowView* view = open(window, false);
    view->show();
}

void QtWindowHost::runModal(Window& dialog) {
    if (dialog.isClosed()) return;
    QtWindowView* view = open(dialog, true);
    QEventLoop loop;
    QPointer<QEventLoop> guard(&loop);
    dialog.onClosed.push_back([guard] {
        if (guard) guard->quit();
    });
    view->show();
    if (!dialog.isClosed()) loop.exec(QEventLoop::DialogExec);
}

std::vector<TwipsRect> QtWindowHost::screens() const {
    std::vector<TwipsRect> areas;
    // Windows drawn in memory (a run without a display) are seen nowhere:
    // their stored place, kept for the desktop, stays as it is.
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) return areas;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect r = screen->availableGeometry();  // the views' pixels
        areas.push_back({r.x() * kTwipsPerPixel, r.y() * kTwipsPerPixel,
                         r.width() * kTwipsPerPixel, r.height() * kTwipsPerPixel});
    }
    return areas;
}

QtWindowView* QtWindowHost::viewOf(const Window& window) const {
    auto it = state_->views.find(&window);
    if (it == state_->views.end() || !it->second || it->second->detached()) return nullptr;
    return it->second.data();
}

QWidget* QtWindowHost::widgetOf(const Window& window) const { return viewOf(window); }

}  // namespace fhsw
