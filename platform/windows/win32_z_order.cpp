#include "platform/windows/win32_z_order.h"

#include <windows.h>

#include <utility>

namespace fhsw {

Win32ZOrder::Win32ZOrder(HandleOfWindow handleOf) : handleOf_(std::move(handleOf)) {}

ZOrder::Handle Win32ZOrder::foregroundWindow() {
    return reinterpret_cast<Handle>(::GetForegroundWindow());
}

ZOrder::Handle Win32ZOrder::handleOf(const Window& window) {
    return handleOf_ ? handleOf_(window) : 0;
}

void Win32ZOrder::setTopmost(Handle window, bool topmost) {
    if (window == 0) return;
    ::SetWindowPos(reinterpret_cast<HWND>(window), topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0,
                   0, 0, SWP_NOSIZE | SWP_NOMOVE);
}

}  // namespace fhsw
