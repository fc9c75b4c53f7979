// Runs the windows' timer tasks on the Win32 message loop of the UI thread.
// The header needs no Windows headers.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <utility>

#include "ui/scheduler.h"

namespace fhsw {

// One hidden message-only window carries everything: a single Win32 timer is
// armed for the earliest pending task, and tasks due at the same time run in
// the order they were scheduled. Tasks are only run by a message loop of the
// thread that made the scheduler (nested modal loops included). post() hands
// a heap-held task over with PostMessage and may be called from any thread.
class Win32Scheduler final : public Scheduler {
public:
    Win32Scheduler();
    ~Win32Scheduler() override;
    Win32Scheduler(const Win32Scheduler&) = delete;
    Win32Scheduler& operator=(const Win32Scheduler&) = delete;

    TaskId callAfter(int delayMs, std::function<void()> task) override;
    void cancel(TaskId id) override;
    void post(std::function<void()> task) override;

    // Tasks scheduled and not yet run or cancelled.
    std::size_t pending() const { return tasks_.size(); }

    // Window procedure entry (internal).
    std::intptr_t handle(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

private:
    using Clock = std::chrono::steady_clock;
    using Key = std::pair<Clock::time_point, TaskId>;
    void rearm();
    void runDue();

    void* hwnd_ = nullptr;  // HWND
    std::map<Key, std::function<void()>> tasks_;
    TaskId lastId_ = 0;
};

}  // namespace fhsw
