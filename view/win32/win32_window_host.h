// Shows window models through Win32WindowView: the main window without
// modality, dialogs modal over their owner (disabled meanwhile) with a nested
// message loop. Every message loop of the program goes through dispatch(),
// which gives Enter, Esc and Tab to the window they belong to.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>

#include "ui/window.h"

namespace fhsw {

class Win32Images;
class Win32WindowView;

class Win32WindowHost final : public WindowHost {
public:
    explicit Win32WindowHost(Win32Images& images);
    // Destroys the windows still shown; their models must still be alive.
    ~Win32WindowHost() override;
    Win32WindowHost(const Win32WindowHost&) = delete;
    Win32WindowHost& operator=(const Win32WindowHost&) = delete;

    // Creates the view and shows it, not modal.
    void show(Window& window) override;
    // Shows the dialog over its owner, which is disabled meanwhile, and runs
    // a nested message loop until the dialog has closed. Timers keep ticking.
    void runModal(Window& dialog) override;
    // The work area of each monitor (without the taskbar).
    std::vector<TwipsRect> screens() const override;

    // The message loop of the program: runs until WM_QUIT, returns its code.
    int run();
    // Hands one message to its window (dialog keys first).
    void dispatch(MSG& msg);

    // The view of a window being shown; nullptr before show and after close.
    Win32WindowView* viewOf(const Window& window) const;
    HWND hwndOf(const Window& window) const;

    // Run when a window shown with show() has closed and no such window is
    // left. The default posts WM_QUIT.
    std::function<void()> onLastWindowClosed;

private:
    Win32WindowView* open(Window& window, bool modal);
    Win32Images& images_;
    std::map<const Window*, std::unique_ptr<Win32WindowView>> views_;
    int topLevelShown_ = 0;
};

}  // namespace fhsw
