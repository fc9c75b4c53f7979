#include "view/win32/win32_scheduler.h"

#include <windows.h>

#include <memory>

namespace fhsw {

namespace {

constexpr UINT kPostedTask = WM_APP + 1;
constexpr UINT_PTR kTimerId = 1;
const wchar_t kClassName[] = L"FHSW_Scheduler";

LRESULT CALLBACK SchedulerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Win32Scheduler*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && (message == WM_TIMER || message == kPostedTask))
        return self->handle(message, wParam, lParam);
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

Win32Scheduler::Win32Scheduler() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = SchedulerProc;
    wc.hInstance = instance;
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);  // fails harmlessly when already registered
    HWND hwnd = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                instance, nullptr);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    hwnd_ = hwnd;
}

Win32Scheduler::~Win32Scheduler() {
    HWND hwnd = static_cast<HWND>(hwnd_);
    if (!hwnd) return;
    KillTimer(hwnd, kTimerId);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    // Posted tasks that never ran are still ours to free.
    MSG msg;
    while (PeekMessageW(&msg, hwnd, kPostedTask, kPostedTask, PM_REMOVE))
        delete reinterpret_cast<std::function<void()>*>(msg.lParam);
    DestroyWindow(hwnd);
}

Scheduler::TaskId Win32Scheduler::callAfter(int delayMs, std::function<void()> task) {
    const TaskId id = ++lastId_;
    const auto due = Clock::now() + std::chrono::milliseconds(delayMs < 0 ? 0 : delayMs);
    tasks_.emplace(Key{due, id}, std::move(task));
    rearm();
    return id;
}

void Win32Scheduler::cancel(TaskId id) {
    for (auto it = tasks_.begin(); it != tasks_.end(); ++it) {
        if (it->first.second == id) {
            tasks_.erase(it);
            rearm();
            return;
        }
    }
}

void Win32Scheduler::post(std::function<void()> task) {
    auto held = std::make_unique<std::function<void()>>(std::move(task));
    if (PostMessageW(static_cast<HWND>(hwnd_), kPostedTask, 0,
                     reinterpret_cast<LPARAM>(held.get())))
        held.release();  // the message owns it now
}

void Win32Scheduler::rearm() {
    HWND hwnd = static_cast<HWND>(hwnd_);
    if (tasks_.empty()) {
        KillTimer(hwnd, kTimerId);
        return;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(tasks_.begin()->first.first -
                                                                   Clock::now());
    // SetTimer raises anything shorter to USER_TIMER_MINIMUM (10 ms).
    const auto ms = wait.count() < 1 ? 1 : wait.count();
    SetTimer(hwnd, kTimerId, static_cast<UINT>(ms), nullptr);
}

void Win32Scheduler::runDue() {
    const auto now = Clock::now();
    // One task at a time, the timer armed for the rest before it runs: a task
    // may schedule or cancel others, or run a modal dialog's nested loop.
    while (!tasks_.empty() && tasks_.begin()->first.first <= now) {
        auto it = tasks_.begin();
        auto task = std::move(it->second);
        tasks_.erase(it);
        rearm();
        if (task) task();
    }
    rearm();
}

std::intptr_t Win32Scheduler::handle(unsigned message, std::uintptr_t wParam,
                                     std::intptr_t lParam) {
    if (message == WM_TIMER && wParam == kTimerId) {
        runDue();
        return 0;
    }
    if (message == kPostedTask) {
        std::unique_ptr<std::function<void()>> task(
            reinterpret_cast<std::function<void()>*>(lParam));
        if (task && *task) (*task)();
        return 0;
    }
    return 0;
}

}  // namespace fhsw
