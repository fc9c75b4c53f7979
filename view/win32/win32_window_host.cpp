#include "view/win32/win32_window_host.h"

#include <cmath>
#include <vector>

#include "view/win32/win32_window_view.h"

namespace fhsw {

struct Win32WindowHost::State {
    std::map<const Window*, std::unique_ptr<Win32WindowView>> views;
    int topLevelShown = 0;
};

Win32WindowHost::Win32WindowHost(Win32Images& images)
    : onLastWindowClosed([] { PostQuitMessage(0); }),
      images_(images),
      state_(std::make_shared<State>()) {}

Win32WindowHost::~Win32WindowHost() {
    // Owned windows first: Windows would destroy them with their owner.
    auto views = std::move(state_->views);
    state_->views.clear();
    for (auto& [window, view] : views)
        if (view->owner()) view.reset();
    views.clear();
}

Win32WindowView* Win32WindowHost::open(Window& window, bool modal) {
    if (Win32WindowView* existing = viewOf(window)) return existing;
    HWND owner = window.owner() ? hwndOf(*window.owner()) : nullptr;

    // Dialogs owned by a window end with it; this runs before the view's
    // own closing, so the owned windows go first.
    std::weak_ptr<State> weak = state_;
    window.onClosed.push_back([weak, key = &window] {
        auto state = weak.lock();
        if (!state) return;
        std::vector<Window*> owned;
        for (auto& [w, view] : state->views)
            if (w->owner() == key && !view->detached()) owned.push_back(&view->model());
        for (Window* w : owned) w->close();
    });

    auto view = std::make_unique<Win32WindowView>(window, owner, modal, images_);
    Win32WindowView* raw = view.get();
    state_->views[&window] = std::move(view);
    if (!modal) {
        ++state_->topLevelShown;
        raw->onDetached = [this, weak] {
            auto state = weak.lock();
            if (!state) return;
            if (--state->topLevelShown == 0 && onLastWindowClosed) onLastWindowClosed();
        };
    }
    return raw;
}

void Win32WindowHost::forget(const Window& window) { state_->views.erase(&window); }

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
    forget(dialog);
}

void Win32WindowHost::dispatch(MSG& msg) {
    HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    Win32WindowView* target = nullptr;
    if (root) {
        for (auto& [w, view] : state_->views)
            if (view->hwnd() == root && !view->detached()) target = view.get();
    }
    if (target) {
        if (target->preTranslate(msg)) return;
        if (IsDialogMessageW(root, &msg)) return;
    }
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
    HDC dc = GetDC(nullptr);
    const UINT dpi = dc ? static_cast<UINT>(GetDeviceCaps(dc, LOGPIXELSX)) : 96;
    if (dc) ReleaseDC(nullptr, dc);
    std::vector<TwipsRect> areas;
    for (const RECT& r : work) {
        auto twips = [dpi](LONG pixels) { return static_cast<int>(std::lround(PixelsToTwips(pixels, dpi))); };
        areas.push_back({twips(r.left), twips(r.top), twips(r.right - r.left), twips(r.bottom - r.top)});
    }
    return areas;
}

Win32WindowView* Win32WindowHost::viewOf(const Window& window) const {
    auto it = state_->views.find(&window);
    if (it == state_->views.end() || it->second->detached()) return nullptr;
    return it->second.get();
}

HWND Win32WindowHost::hwndOf(const Window& window) const {
    Win32WindowView* view = viewOf(window);
    return view ? view->hwnd() : nullptr;
}

}  // namespace fhsw
