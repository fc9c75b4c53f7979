// Hands a command text (a program or script path, quoted or not, then any
// arguments) to the platform and returns at once.
#pragma once

#include <string>

namespace fhsw {

struct LaunchResult {
    bool ok = true;
    std::string error;  // why nothing could be started, in words for the user
};

class Launcher {
public:
    virtual ~Launcher() = default;
    // visible: a normal window that takes the focus; otherwise hidden.
    virtual LaunchResult launch(const std::string& command, bool visible) = 0;
    // Whether anything this launcher started is still running.
    virtual bool anyLaunchedRunning() = 0;
};

}  // namespace fhsw
