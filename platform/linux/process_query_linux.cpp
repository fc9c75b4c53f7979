#include "platform/linux/process_query_linux.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>

namespace fhsw {

namespace {

// The kernel keeps at most this many bytes of a process's name.
constexpr std::size_t kCommLength = 15;

// The start of a small file of one process in /proc ("" when it is gone):
// enough for its name, its state and the start of its command line.
std::string Head(int procFd, const std::string& file) {
    char buf[64];
    const int fd = ::openat(procFd, file.c_str(), O_RDONLY | O_CLOEXEC);
    const ssize_t n = fd < 0 ? -1 : ::read(fd, buf, sizeof buf);
    if (fd >= 0) ::close(fd);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : "";
}

bool StartsWithNoCase(const std::string& s, const std::string& prefix) {
    return s.size() >= prefix.size() && ::strncasecmp(s.c_str(), prefix.c_str(), prefix.size()) == 0;
}

}  // namespace

bool LinuxProcessQuery::isProcessRunning(const std::string& imageName) {
    DIR* dir = ::opendir("/proc");
    if (dir == nullptr) return false;
    const int procFd = ::dirfd(dir);
    // A renamed process: "<name> <arguments>", its name cut at 15 bytes.
    const std::string renamed = imageName + " ";
    bool found = false;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string pid = entry->d_name;
        struct stat owner {};
        // Other users' processes are passed over before anything of theirs is read.
        if (!std::isdigit(static_cast<unsigned char>(pid[0])) || ::fstatat(procFd, pid.c_str(), &owner, 0) != 0 ||
            owner.st_uid != ::geteuid()) {
            continue;
        }
        std::string comm = Head(procFd, pid + "/comm");
        if (!comm.empty() && comm.back() == '\n') comm.pop_back();
        const bool named = ::strcasecmp(comm.c_str(), imageName.c_str()) == 0 ||
                           (StartsWithNoCase(comm, renamed.substr(0, kCommLength)) &&
                            StartsWithNoCase(Head(procFd, pid + "/cmdline"), renamed));
        if (!named) continue;
        // A zombie (or a process being torn down) has ended. Its stat line is
        // "pid (comm) S ...", and the name may itself hold ") ".
        const std::string stat = Head(procFd, pid + "/stat");
        const std::size_t close = stat.rfind(") ");
        const char state = close == std::string::npos || close + 2 >= stat.size() ? 'X' : stat[close + 2];
        if (state != 'Z' && state != 'X' && state != 'x') {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

}  // namespace fhsw
