// The running executable's base name on Windows, from GetModuleFileNameW.
#pragma once

#include <mutex>
#include <string>

#include "platform/executable_name.h"

namespace fhsw {

class WindowsExecutableName final : public ExecutableName {
public:
    // Worked out at the first call and the same for the life of the process.
    std::string baseName() override;

private:
    std::once_flag once_;
    std::string name_;
};

// The full path of the running executable (UTF-8), or empty when the system
// cannot tell.
std::string RunningExecutablePath();

}  // namespace fhsw
