// The running executable's file name without folder and extension.
#pragma once

#include <string>

namespace fhsw {

class ExecutableName {
public:
    virtual ~ExecutableName() = default;
    virtual std::string baseName() = 0;
};

class FixedExecutableName final : public ExecutableName {
public:
    explicit FixedExecutableName(std::string name) : name_(std::move(name)) {}
    std::string baseName() override { return name_; }

private:
    std::string name_;
};

// The base name of a path: the part after the last separator, without the
// last extension ("D:\Jobs\NIGHTLY-REPORT.exe" -> "NIGHTLY-REPORT").
std::string BaseNameOfPath(const std::string& path);

}  // namespace fhsw
