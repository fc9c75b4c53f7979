// Starts the launch text on Linux: a runner script (.BAT or .CMD) through the
// runner-script interpreter, anything else directly; hidden in a session of
// its own with its standard streams on /dev/null, or visible in a terminal
// window.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/launcher.h"

namespace fhsw {

// A launch text taken apart by the Microsoft C runtime rules: the program (a
// path, quotes grouping and removed, backslashes literal) and its arguments.
struct LaunchLine {
    std::string program;
    std::vector<std::string> arguments;
};

LaunchLine splitLaunchText(const std::string& text);

// Whether a path names a runner script: extension .BAT or .CMD, in any case.
bool isRunnerScriptPath(const std::string& path);

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

    struct Children;  // shared with the threads that reap the children

private:
    std::string runnerPath_;
    std::shared_ptr<Children> children_;
};

}  // namespace fhsw
