#include "view/qt/qt_window_host.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>

#include "view/qt/qt_window_view.h"

namespace fhsw {

QtWindowHost::QtWindowHost() : onLastWindowClosed([] { QCoreApplication::quit(); }) {}

QtWindowHost::~QtWindowHost() {
    // Owned dialogs go with their owner's view (their pointers turn null).
    auto views = std::move(views_);
    for (auto& [window, view] : views) delete view.data();
}

QtWindowView* QtWindowHost::open(Window& window, bool modal) {
    if (QtWindowView* existing = viewOf(window)) return existing;
    QWidget* parent = window.owner() ? viewOf(*window.owner()) : nullptr;
    auto* view = new QtWindowView(window, parent);
    views_[&window] = view;
    view->onDetached = [this, key = &window, modal] {
        views_.erase(key);
        if (!modal && views_.empty() && onLastWindowClosed) onLastWindowClosed();
    };
    if (modal) view->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    return view;
}

void QtWindowHost::show(Window& window) {
    if (window.isClosed()) return;
    open(window, false)->show();
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
        areas.push_back({r.x() * kTwipsPerPixel, r.y() * kTwipsPerPixel, r.width() * kTwipsPerPixel,
                         r.height() * kTwipsPerPixel});
    }
    return areas;
}

QtWindowView* QtWindowHost::viewOf(const Window& window) const {
    auto it = views_.find(&window);
    return it == views_.end() || !it->second || it->second->detached() ? nullptr : it->second.data();
}

}  // namespace fhsw
