#include "platform/linux/text_file_linux.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace fhsw {

bool LinuxTextFileWriter::writeLine(const std::string& path, const std::string& text,
                                    TextFileKind, bool ownerOnly, std::string& error) {
    if (path.empty()) {
        error = "no file name";
        return false;
    }
    const mode_t mode = ownerOnly ? 0600 : 0644;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    // An existing file keeps its mode on open: narrow it before writing.
    if (ownerOnly && ::fchmod(fd, 0600) != 0) {
        error = std::strerror(errno);
        ::close(fd);
        return false;
    }
    const std::string bytes = text + "\r\n";
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = std::strerror(errno);
            ::close(fd);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace fhsw
