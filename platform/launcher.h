// Hands a command text (a program or script path, quoted or not, then any
// arguments) to the platform and returns at once. Each launch gets an id by
// which its state can be asked and by which it can be stopped, together with
// everything it started.
#pragma once

#include <cstdint>
#include <string>

namespace fhsw {

using LaunchId = std::uint64_t;  // 0 names no launch

struct LaunchResult {
    bool ok = true;
    std::string error;  // why nothing could be started, in words for the user
    LaunchId id = 0;    // set when ok
};

struct LaunchState {
    bool running = false;
    // Once ended: the exit status of the started program (128 + the signal
    // number for one killed by a signal on Linux); -1 when it is not known.
    int exitStatus = -1;
    friend bool operator==(const LaunchState&, const LaunchState&) = default;
};

class Launcher {
public:
    virtual ~Launcher() = default;
    // visible: a normal window that takes the focus; otherwise hidden.
    virtual LaunchResult launch(const std::string& command, bool visible) = 0;
    // Whether that launch still runs, or how it ended. An unknown id reads
    // as ended with status -1. Cheap: may be asked on the UI thread.
    virtual LaunchState state(LaunchId id) = 0;
    // Stops that launch and every process it started (its process group on
    // Linux, its job object on Windows). Returns at once; an ended or
    // unknown launch is left alone.
    virtual void stop(LaunchId id) = 0;
};

}  // namespace fhsw
