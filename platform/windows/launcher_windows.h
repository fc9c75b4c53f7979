// Starts the launch text on Windows with CreateProcessW: a batch script
// (.BAT or .CMD) through the command interpreter (%ComSpec% /s /c, see
// launch_plan.h), anything else directly. Visible: a normal window that takes
// the focus, batch scripts in a console of their own; hidden: no window at
// all. Returns at once and keeps the process handles only to tell whether
// anything it started is still running.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/launcher.h"

namespace fhsw {

class WindowsLauncher final : public Launcher {
public:
    WindowsLauncher() = default;
    ~WindowsLauncher() override;
    WindowsLauncher(const WindowsLauncher&) = delete;
    WindowsLauncher& operator=(const WindowsLauncher&) = delete;

    LaunchResult launch(const std::string& command, bool visible) override;
    bool anyLaunchedRunning() override;

private:
    void closeEnded();  // with mutex_ held

    std::mutex mutex_;
    std::vector<void*> processes_;  // process handles of what was started
};

}  // namespace fhsw
