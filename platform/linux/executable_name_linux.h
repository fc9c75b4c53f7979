// The running executable's base name on Linux, from /proc/self/exe.
#pragma once

#include <string>

#include "platform/executable_name.h"

namespace fhsw {

class LinuxExecutableName final : public ExecutableName {
public:
    // The base name of the executable's real path (links resolved), worked
    // out at the first call and the same for the life of the process.
    std::string baseName() override;
};

// The real path of the running executable, or empty when it cannot be found.
std::string RunningExecutablePath();

}  // namespace fhsw
