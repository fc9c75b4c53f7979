// The running executable's base name on Windows, from GetModuleFileNameW,
// worked out when the object is made: it is the same for the life of the
// process.
#pragma once

#include <string>

#include "platform/executable_name.h"

namespace fhsw {

class WindowsExecutableName final : public ExecutableName {
public:
    WindowsExecutableName();
    std::string baseName() override { return name_; }

private:
    std::string name_;
};

}  // namespace fhsw
