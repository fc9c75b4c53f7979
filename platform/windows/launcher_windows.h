// Starts the launch text on Windows with CreateProcessW: a batch script
// (.BAT or .CMD) through the command interpreter (started in the script's own folder, see
// launch_plan.h), anything else directly. Visible: a normal window that takes
// the focus, batch scripts in a console of their own; hidden: no window at
// all. Returns at once; each launch runs in a job object of its own, so that
// it can be stopped with everything it started, and keeps its process handle
// to tell how it ended.
#pragma once

#include <map>
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
    LaunchState state(LaunchId id) override;
    void stop(LaunchId id) override;

private:
    struct Launch {
        void* process = nullptr;  // HANDLE of the started process
        void* job = nullptr;      // HANDLE of its job object, if one could be made
    };
    std::mutex mutex_;
    std::map<LaunchId, Launch> launches_;
    LaunchId lastId_ = 0;
};

}  // namespace fhsw
