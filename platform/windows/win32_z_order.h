// Always-on-top through the Win32 window manager. The header needs no
// Windows headers.
#pragma once

#include <functional>

#include "platform/z_order.h"

namespace fhsw {

class Win32ZOrder final : public ZOrder {
public:
    using HandleOfWindow = std::function<Handle(const Window&)>;

    // `handleOf` gives the HWND of one of the program's own windows, 0 while
    // it is not shown.
    explicit Win32ZOrder(HandleOfWindow handleOf);

    // GetForegroundWindow(); 0 for none.
    Handle foregroundWindow() override;
    Handle handleOf(const Window& window) override;
    // SetWindowPos with HWND_TOPMOST or HWND_NOTOPMOST, keeping place and
    // size (SWP_NOMOVE | SWP_NOSIZE); the result is not looked at. 0 is
    // ignored.
    void setTopmost(Handle window, bool topmost) override;

private:
    HandleOfWindow handleOf_;
};

}  // namespace fhsw
