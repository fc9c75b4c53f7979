#include "view/qt/qt_z_order.h"

#include <QGuiApplication>
#include <QWidget>

#include "view/qt/qt_window_host.h"
#include "view/qt/qt_window_view.h"

#ifdef FHSW_HAVE_X11
#include <QtGui/qguiapplication_platform.h>

#include "platform/linux/x11_z_order.h"
#endif

namespace fhsw {

std::unique_ptr<ZOrder> MakeZOrder(QtWindowHost& host) {
#ifdef FHSW_HAVE_X11
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        auto handleOf = [&host](const Window& window) -> ZOrder::Handle {
            QWidget* widget = host.viewOf(window);
            return widget ? static_cast<ZOrder::Handle>(widget->winId()) : 0;
        };
        // Share Qt's own connection when it has one, else open another.
        auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                            : nullptr;
        if (x11 && x11->display()) return std::make_unique<X11ZOrder>(x11->display(), handleOf);
        if (auto own = X11ZOrder::Connect(nullptr, handleOf)) return own;
    }
#else
    (void)host;
#endif
    return std::make_unique<NoZOrder>();
}

}  // namespace fhsw
