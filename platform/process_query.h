// Whether a process of a given image name is running, asked afresh each time.
#pragma once

#include <string>

namespace fhsw {

class ProcessQuery {
public:
    virtual ~ProcessQuery() = default;
    // Image names compare without regard to case.
    virtual bool isProcessRunning(const std::string& imageName) = 0;
};

}  // namespace fhsw
