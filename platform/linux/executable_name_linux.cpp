#include "platform/linux/executable_name_linux.h"

#include <climits>
#include <cstdlib>
#include <unistd.h>

#include <cerrno>

namespace fhsw {

std::string RunningExecutablePath() {
    if (char* real = ::realpath("/proc/self/exe", nullptr)) {
        std::string path = real;
        std::free(real);
        return path;
    }
    // The file was removed or replaced since the program started (an update,
    // say): the kernel still knows its old path, marked " (deleted)".
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0) {
        std::string path(buf, std::size_t(n));
        const std::string mark = " (deleted)";
        if (path.size() > mark.size() && path.compare(path.size() - mark.size(), mark.size(), mark) == 0 &&
            ::access(path.c_str(), F_OK) != 0) {
            path.erase(path.size() - mark.size());
        }
        return path;
    }
    // No /proc: the name the program was started under.
    return program_invocation_name ? program_invocation_name : "";
}

std::string LinuxExecutableName::baseName() {
    std::call_once(once_, [this] { name_ = BaseNameOfPath(RunningExecutablePath()); });
    return name_;
}

}  // namespace fhsw
