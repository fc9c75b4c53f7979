// Built only with Xlib (FHSW_HAVE_X11); without it nothing uses the class.
#ifdef FHSW_HAVE_X11
#include "platform/linux/x11_z_order.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace fhsw {

X11ZOrder::X11ZOrder(_XDisplay* display, HandleOfWindow handleOf)
    : display_(display), handleOf_(std::move(handleOf)) {}

X11ZOrder::~X11ZOrder() {
    if (ownsDisplay_ && display_) XCloseDisplay(display_);
}

std::unique_ptr<X11ZOrder> X11ZOrder::Connect(const char* displayName, HandleOfWindow handleOf) {
    ::Display* display = XOpenDisplay(displayName);
    if (!display) return nullptr;
    auto z = std::make_unique<X11ZOrder>(display, std::move(handleOf));
    z->ownsDisplay_ = true;
    return z;
}

ZOrder::Handle X11ZOrder::handleOf(const Window& window) { return handleOf_(window); }

ZOrder::Handle X11ZOrder::foregroundWindow() {
    const Atom active = XInternAtom(display_, "_NET_ACTIVE_WINDOW", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    Handle result = 0;
    const int status =
        XGetWindowProperty(display_, DefaultRootWindow(display_), active, 0, 1, False, XA_WINDOW,
                           &type, &format, &count, &after, &data);
    if (status == Success && type == XA_WINDOW && format == 32 && count == 1 && data)
        result = static_cast<Handle>(*reinterpret_cast<unsigned long*>(data));
    if (data) XFree(data);
    return result;
}

void X11ZOrder::setTopmost(Handle window, bool topmost) {
    if (window == 0) return;
    // An EWMH _NET_WM_STATE request: add (1) or remove (0), from an application (1).
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.send_event = True;
    event.xclient.display = display_;
    event.xclient.window = static_cast<::Window>(window);
    event.xclient.message_type = XInternAtom(display_, "_NET_WM_STATE", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = topmost ? 1 : 0;
    event.xclient.data.l[1] = static_cast<long>(XInternAtom(display_, "_NET_WM_STATE_ABOVE", False));
    event.xclient.data.l[3] = 1;
    XSendEvent(display_, DefaultRootWindow(display_), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(display_);
}

}  // namespace fhsw
#endif
