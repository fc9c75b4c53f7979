#include "view/qt_z_order.h"

#include <QGuiApplication>
#include <QWidget>

#include "view/qt_window_host.h"

#ifdef _WIN32
#include "platform/windows/win32_z_order.h"
#endif

#ifdef FHSW_HAVE_X11
#include <QtGui/qguiapplication_platform.h>

#include "platform/linux/x11_z_order.h"
#endif

namespace fhsw {

std::unique_ptr<ZOrder> MakeZOrder(QtWindowHost& host) {
#ifdef _WIN32
    if (QGuiApplication::platformName() == QLatin1String("windows")) {
        return std::make_unique<Win32ZOrder>([&host](const Window& window) -> ZOrder::Handle {
            QWidget* widget = host.widgetOf(window);
            return widget ? static_cast<ZOrder::Handle>(widget->winId()) : 0;
        });
    }
#endif
#ifdef FHSW_HAVE_X11
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        auto handleOf = [&host](const Window& window) -> ZOrder::Handle {
            QWidget* widget = host.widgetOf(window);
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
