// Whether a process of a given image name is running, from a fresh snapshot
// of the system's process list at every call. The image name is the file
// name of the process's executable ("SendEmail.exe"); names compare the way
// the file system compares them, without regard to case.
#pragma once

#include "platform/process_query.h"

namespace fhsw {

class WindowsProcessQuery final : public ProcessQuery {
public:
    // False also when the process list cannot be read.
    bool isProcessRunning(const std::string& imageName) override;
};

}  // namespace fhsw
