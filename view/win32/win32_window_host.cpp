#include "view/win32/win32_window_host.h"

#include <cmath>
#include <vector>

#include "view/win32/win32_window_view.h"

namespace fhsw {

Win32WindowHost::Win32WindowHost(Win32Images& images)
    : onLastWindowClosed([] { PostQuitMessage(0); }), images_(images) {}

Win32WindowHost::~Win32WindowHost() {
    // Owned windows first: Windows would destroy them with their owner.
    auto views = std::move(views_);
    for (auto& [window, view] : views)
        if (view->owner()) view.reset();
}

Win32WindowView* Win32WindowHost::open(Window& window, bool modal) {
    if (Win32WindowView* existing = viewOf(window)) return existing;
    HWND owner = window.owner() ? hwndOf(*window.owner()) : nullptr;
    auto& view = views_[&window];
    view = std::make_unique<Win32WindowView>(window, owner, modal, images_);
    if (!modal) {
        ++topLevelShown_;
        view->onDetached = [this] {
            if (--topLevelShown_ == 0 && onLastWindowClosed) onLastWindowClosed();
        };
    }
    return view.get();
}

void Win32WindowHost::show(Window& window) {
    if (window.isClosed()) return;
    open(window, false)->show();
}

void Win32WindowHost::runModal(Window& dialog) {
    if (dialog.isClosed()) return;
    Win32WindowView* view = open(dialog, true);
    view->show();
    MSG msg;
    while (!view->detached()) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // The program is ending: leave the quit for the outer loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got == -1) break;
        dispatch(msg);
    }
    if (!dialog.isClosed()) dialog.close();
    views_.erase(&dialog);
}

void Win32WindowHost::dispatch(MSG& msg) {
    HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    for (auto& [window, view] : views_)
        if (root && view->hwnd() == root && !view->detached())
            if (view->preTranslate(msg) || IsDialogMessageW(root, &msg)) return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

int Win32WindowHost::run() {
    MSG msg;
    while (true) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) return static_cast<int>(msg.wParam);
        if (got == -1) return 1;
        dispatch(msg);
    }
}

std::vector<TwipsRect> Win32WindowHost::screens() const {
    // A window station that shows nothing (a task run while the user is not
    // logged on) says nothing about the user's screens.
    USEROBJECTFLAGS station{};
    if (GetUserObjectInformationW(GetProcessWindowStation(), UOI_FLAGS, &station, sizeof station, nullptr) &&
        !(station.dwFlags & WSF_VISIBLE))
        return {};
    std::vector<RECT> work;
    EnumDisplayMonitors(
        nullptr, nullptr,
        [](HMONITOR monitor, HDC, LPRECT, LPARAM out) -> BOOL {
            MONITORINFO info{};
            info.cbSize = sizeof info;
            if (GetMonitorInfoW(monitor, &info)) reinterpret_cast<std::vector<RECT>*>(out)->push_back(info.rcWork);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&work));
    // In the pixels of the system's DPI, as a view places a new window.
    const UINT dpi = SystemDpi();
    std::vector<TwipsRect> areas;
    for (const RECT& r : work) {
        auto twips = [dpi](LONG pixels) { return static_cast<int>(std::lround(PixelsToTwips(pixels, dpi))); };
        areas.push_back({twips(r.left), twips(r.top), twips(r.right - r.left), twips(r.bottom - r.top)});
    }
    return areas;
}

Win32WindowView* Win32WindowHost::viewOf(const Window& window) const {
    auto it = views_.find(&window);
    return it == views_.end() || it->second->detached() ? nullptr : it->second.get();
}

HWND Win32WindowHost::hwndOf(const Window& window) const {
    Win32WindowView* view = viewOf(window);
    return view ? view->hwnd() : nullptr;
}

}  // namespace fhsw
