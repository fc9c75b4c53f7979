// Starts the launch text on Windows with CreateProcessW: a batch script
// (.BAT or .CMD) through the command interpreter, cmd.exe of the system
// folder (started in the script's own folder, see launch_plan.h), anything
// else directly. Visible: a normal window that takes the focus, batch scripts
// in a console of their own; hidden: no window at all. Returns at once; each
// launch runs in a job object of its own, so that it can be stopped with
// everything it started, and keeps its process handle to tell how it ended.
// Closing the handles (when the launcher goes) leaves the started programs
// running: a runner script outlives the program that launched it. Called on
// the UI thread only.
#pragma once

#include <map>
#include <string>

#include "platform/launcher.h"
#include "platform/windows/win32_text.h"

namespace fhsw {

class WindowsLauncher final : public Launcher {
public:
    LaunchResult launch(const std::string& command, bool visible) override;
    LaunchState state(LaunchId id) override;
    void stop(LaunchId id) override;

private:
    struct Launch {
        UniqueHandle process;
        UniqueHandle job;  // null when none could be made
    };
    std::map<LaunchId, Launch> launches_;
    LaunchId lastId_ = 0;
};

}  // namespace fhsw
