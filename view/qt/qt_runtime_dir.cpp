#include "view/qt/qt_runtime_dir.h"

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace fhsw {

void EnsureRuntimeDir() {
    const char* current = std::getenv("XDG_RUNTIME_DIR");
    if (current && *current) return;
    const char* tmp = std::getenv("TMPDIR");
    std::string base = (tmp && *tmp) ? tmp : "/tmp";
    const std::string dir = base + "/fh-sendwarden-runtime-" + std::to_string(::getuid());
    ::mkdir(dir.c_str(), 0700);
    struct stat st {};
    // lstat: a symbolic link planted by someone else is refused.
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
        (st.st_mode & 0777) != 0700)
        return;
    ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
}

}  // namespace fhsw
