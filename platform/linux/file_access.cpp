#include "platform/linux/file_access.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace fhsw {

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string UserName(uid_t uid) {
    if (const passwd* pw = ::getpwuid(uid); pw && pw->pw_name) return pw->pw_name;
    return "uid " + std::to_string(uid);
}

namespace {

// `path` itself: a folder that others may write to, a file that others may
// read or write, or either of another user.
std::string OpenItself(const std::string& path, const struct stat& st) {
    const bool folder = S_ISDIR(st.st_mode);
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    const char* how = folder ? " is writable by " : " can be read or changed by ";
    if (st.st_mode & (folder ? S_IWOTH : S_IROTH | S_IWOTH)) return path + how + "other users (mode " + mode + ")";
    if (st.st_mode & (folder ? S_IWGRP : S_IRGRP | S_IWGRP)) return path + how + "its group (mode " + mode + ")";
    if (st.st_uid != ::geteuid() && st.st_uid != 0) {
        return path + " belongs to another user (" + UserName(st.st_uid) + ")";
    }
    return "";
}

}  // namespace

std::string OpenToOthers(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return "";
    if (std::string why = OpenItself(path, st); !why.empty() || S_ISDIR(st.st_mode)) return why;
    const std::string folder = FolderOf(path);
    return ::stat(folder.c_str(), &st) == 0 ? OpenItself(folder, st) : "";
}

void RemoveLeftovers(const std::string& folder, const std::string& prefix, std::size_t length) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        struct stat st {};
        if (name.compare(0, prefix.size(), prefix) != 0 || (length != 0 && name.size() != length) ||
            ::fstatat(::dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != ::geteuid()) {
            continue;
        }
        const int fd = ::openat(::dirfd(dir), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0) ::unlinkat(::dirfd(dir), name.c_str(), 0);
        if (fd >= 0) ::close(fd);
    }
    ::closedir(dir);
}

}  // namespace fhsw
