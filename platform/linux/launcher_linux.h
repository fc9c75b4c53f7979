// Starts the launch text on Linux, taken apart by the Microsoft C runtime
// rules (platform/command_line.h): a runner script (.BAT or .CMD) through the
// runner-script interpreter, anything else directly (found on PATH when it
// names no folder); hidden in a session of
// its own with its standard streams on /dev/null, or visible in a terminal
// window. A runner script runs only when it is a regular file of this user.
//
// No thread of its own: each call (launch, state, stop) first reaps the
// children that have ended, watched or not, and kills what a stop could not
// end politely within kKillAfter. The destructor kills those at once.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "platform/launcher.h"

namespace fhsw {

class LinuxLauncher final : public Launcher {
public:
    // runnerPath: full path of the runner-script interpreter fh-sendwarden-run.
    explicit LinuxLauncher(std::string runnerPath);
    ~LinuxLauncher() override;

    LinuxLauncher(const LinuxLauncher&) = delete;
    LinuxLauncher& operator=(const LinuxLauncher&) = delete;

    LaunchResult launch(const std::string& command, bool visible) override;
    LaunchState state(LaunchId id) override;
    void stop(LaunchId id) override;

    // How long a stopped launch has to end after SIGTERM before SIGKILL.
    static constexpr std::chrono::seconds kKillAfter{2};

private:
    struct Child {
        pid_t pid = 0;  // also its process group: each launch leads a session
        bool running = true;
        int exitStatus = -1;
    };
    struct Stopping {
        pid_t group;
        std::chrono::steady_clock::time_point killAt;
    };
    void tidy();

    std::string runnerPath_;
    std::map<LaunchId, Child> launches_;
    std::vector<Stopping> stopping_;
    LaunchId lastId_ = 0;
};

}  // namespace fhsw
