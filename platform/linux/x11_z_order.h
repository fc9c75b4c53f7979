// Always-on-top through an EWMH window manager on X11. The header needs no X11
// headers; the class is built only when Xlib is there at build time.
#pragma once

#include <functional>
#include <memory>

#include "platform/z_order.h"

struct _XDisplay;

namespace fhsw {

class X11ZOrder final : public ZOrder {
public:
    using HandleOfWindow = std::function<Handle(const Window&)>;

    // Uses `display` (not owned). `handleOf` gives the X window id of one of
    // the program's own windows, 0 while it is not shown.
    X11ZOrder(_XDisplay* display, HandleOfWindow handleOf);
    ~X11ZOrder() override;
    X11ZOrder(const X11ZOrder&) = delete;
    X11ZOrder& operator=(const X11ZOrder&) = delete;

    // Opens a display connection of its own (nullptr name: $DISPLAY) and
    // closes it when destroyed; nullptr when there is no X server.
    static std::unique_ptr<X11ZOrder> Connect(const char* displayName, HandleOfWindow handleOf);

    // The client window named by the root window's _NET_ACTIVE_WINDOW; 0 for none.
    Handle foregroundWindow() override;
    Handle handleOf(const Window& window) override;
    // Asks the window manager to add or remove _NET_WM_STATE_ABOVE; the
    // window keeps its place and size. 0 is ignored.
    void setTopmost(Handle window, bool topmost) override;

private:
    _XDisplay* display_;
    HandleOfWindow handleOf_;
    bool ownsDisplay_ = false;
};

}  // namespace fhsw
