#include "platform/linux/executable_name_linux.h"

#include <unistd.h>

#include <filesystem>

namespace fhsw {

std::string RunningExecutablePath() {
    std::error_code ec;
    std::string path = std::filesystem::read_symlink("/proc/self/exe", ec).string();
    // The file was removed or replaced since the program started (an update,
    // say): the kernel still knows its old path, marked " (deleted)".
    const std::string mark = " (deleted)";
    if (path.ends_with(mark) && ::access(path.c_str(), F_OK) != 0) path.erase(path.size() - mark.size());
    return path;
}

std::string LinuxExecutableName::baseName() {
    // Worked out once: the name stays the same for the life of the process.
    static const std::string name = BaseNameOfPath(RunningExecutablePath());
    return name;
}

}  // namespace fhsw
