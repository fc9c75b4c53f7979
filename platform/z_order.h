// The window-system operations behind "Always On Top".
#pragma once

#include <cstdint>

namespace fhsw {

class Window;

class ZOrder {
public:
    using Handle = std::uintptr_t;  // 0: no window
    virtual ~ZOrder() = default;
    // The window that has the user's focus, whatever program owns it.
    virtual Handle foregroundWindow() = 0;
    // The platform handle of one of our own windows (0 while not shown).
    virtual Handle handleOf(const Window& window) = 0;
    // Moves a window into or out of the always-on-top band without moving or
    // resizing it.
    virtual void setTopmost(Handle window, bool topmost) = 0;
};

// For machines without a window system that supports it: does nothing.
class NoZOrder final : public ZOrder {
public:
    Handle foregroundWindow() override { return 0; }
    Handle handleOf(const Window&) override { return 0; }
    void setTopmost(Handle, bool) override {}
};

}  // namespace fhsw
