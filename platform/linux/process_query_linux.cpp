#include "platform/linux/process_query_linux.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

namespace fhsw {

namespace {

// The kernel keeps at most this many bytes of a process's name.
constexpr std::size_t kCommLength = 15;

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    }
    return true;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && equalNoCase(s.substr(0, prefix.size()), prefix);
}

std::string_view fileNameOf(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Reads a small /proc file of one process; false when the process is gone
// or the file cannot be read.
bool readProcFile(int procFd, const char* pid, const char* file, char* buf, std::size_t cap,
                  std::size_t& size) {
    char rel[64];
    const std::size_t pidLength = std::strlen(pid), fileLength = std::strlen(file);
    if (pidLength + 1 + fileLength >= sizeof rel) return false;
    std::memcpy(rel, pid, pidLength);
    rel[pidLength] = '/';
    std::memcpy(rel + pidLength + 1, file, fileLength + 1);
    const int fd = ::openat(procFd, rel, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    size = 0;
    while (size < cap) {
        const ssize_t n = ::read(fd, buf + size, cap - size);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        size += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return true;
}

// A zombie (or a process being torn down) has ended: it does not count.
bool hasEnded(int procFd, const char* pid) {
    char buf[512];
    std::size_t size = 0;
    if (!readProcFile(procFd, pid, "stat", buf, sizeof buf, size)) return true;
    // "pid (comm) S ...": the name may itself hold ") ", so look for the last one.
    const std::string_view stat(buf, size);
    const std::size_t close = stat.rfind(") ");
    if (close == std::string_view::npos || close + 2 >= stat.size()) return true;
    const char state = stat[close + 2];
    return state == 'Z' || state == 'X' || state == 'x';
}

// The first arguments of a process's command line (at most `count`).
std::vector<std::string_view> firstArguments(std::string_view cmdline, std::size_t count) {
    std::vector<std::string_view> args;
    std::size_t start = 0;
    while (start < cmdline.size() && args.size() < count) {
        std::size_t end = cmdline.find('\0', start);
        if (end == std::string_view::npos) end = cmdline.size();
        args.push_back(cmdline.substr(start, end - start));
        start = end + 1;
    }
    return args;
}

// How a process's name (its comm) compares with the image name asked for.
enum class NameMatch { No, Yes, IfCommandLine };

class ProcessMatcher {
public:
    explicit ProcessMatcher(std::string_view name)
        : name_(name), renamedPrefix_(std::string(name) + " ") {}

    NameMatch byName(std::string_view comm) const {
        if (!comm.empty() && comm.back() == '\n') comm.remove_suffix(1);
        if (name_.size() <= kCommLength) {
            if (equalNoCase(comm, name_)) return NameMatch::Yes;
            // A renamed process: "<name> <arguments>", cut at 15 bytes.
            const std::string_view renamed = std::string_view(renamedPrefix_).substr(0, kCommLength);
            return startsWithNoCase(comm, renamed) ? NameMatch::IfCommandLine : NameMatch::No;
        }
        return equalNoCase(comm, name_.substr(0, kCommLength)) ? NameMatch::IfCommandLine
                                                               : NameMatch::No;
    }

    // The rest of the rules, for a process whose name compared as `match`.
    bool confirms(int procFd, const char* pid, NameMatch match) const {
        if (match == NameMatch::No) return false;
        if (match == NameMatch::IfCommandLine && !commandLineMatches(procFd, pid)) return false;
        return !hasEnded(procFd, pid);
    }

private:
    bool commandLineMatches(int procFd, const char* pid) const {
        std::vector<char> buf(8192);
        std::size_t size = 0;
        if (!readProcFile(procFd, pid, "cmdline", buf.data(), buf.size(), size)) return false;
        const auto args = firstArguments(std::string_view(buf.data(), size), 3);
        if (args.empty()) return false;
        if (startsWithNoCase(args[0], renamedPrefix_)) return true;
        if (name_.size() <= kCommLength) return false;
        // Long names: the program's own file, or the script of an interpreter.
        for (const std::string_view arg : args) {
            if (equalNoCase(fileNameOf(arg), name_)) return true;
        }
        return false;
    }

    std::string_view name_;
    std::string renamedPrefix_;
};

bool isProcessId(const char* s) {
    if (*s == '\0') return false;
    for (; *s != '\0'; ++s) {
        if (*s < '0' || *s > '9') return false;
    }
    return true;
}

// A process's folder belongs to the user it runs as.
bool ownedBy(int procFd, const char* pid, uid_t user) {
    struct stat owner;
    return ::fstatat(procFd, pid, &owner, 0) == 0 && owner.st_uid == user;
}

}  // namespace

bool LinuxProcessQuery::isProcessRunning(const std::string& imageName) {
    // An image name is a file name: never empty, never a path.
    if (imageName.empty() || imageName.find('/') != std::string::npos ||
        imageName.find('\0') != std::string::npos) {
        return false;
    }
    const int procFd = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (procFd < 0) return false;
    DIR* dir = ::fdopendir(procFd);
    if (dir == nullptr) {
        ::close(procFd);
        return false;
    }
    const ProcessMatcher matcher(imageName);
    const uid_t self = ::geteuid();
    bool found = false;
    char comm[64];
    while (const dirent* entry = ::readdir(dir)) {
        const char* pid = entry->d_name;
        // Other users' processes are passed over before anything of theirs is read.
        if (!isProcessId(pid) || !ownedBy(procFd, pid, self)) continue;
        std::size_t size = 0;
        if (!readProcFile(procFd, pid, "comm", comm, sizeof comm, size)) continue;
        if (matcher.confirms(procFd, pid, matcher.byName(std::string_view(comm, size)))) {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

}  // namespace fhsw
