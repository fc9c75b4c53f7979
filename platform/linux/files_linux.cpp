#include "platform/linux/files_linux.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace fhsw {

namespace {

// The next code point of UTF-8 text at `i`, advancing `i`; U+FFFD for a
// byte that does not start a well-formed sequence.
char32_t NextCodePoint(const std::string& s, std::size_t& i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b = byte(i);
    int extra = 0;
    char32_t cp = 0, min = 0;
    if (b < 0x80) {
        ++i;
        return b;
    } else if ((b & 0xE0) == 0xC0) {
        extra = 1, cp = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        extra = 2, cp = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        extra = 3, cp = b & 0x07, min = 0x10000;
    } else {
        ++i;
        return 0xFFFD;
    }
    if (i + extra >= s.size()) {
        ++i;
        return 0xFFFD;
    }
    for (int k = 1; k <= extra; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    i += extra + 1;
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0xFFFD;
    return cp;
}

std::string Describe(const struct stat& st) {
    if (S_ISLNK(st.st_mode)) return "a symbolic link stands in its place - not written through, left as it is";
    if (S_ISDIR(st.st_mode)) return "a folder stands in its place";
    return "something other than a regular file stands in its place - left as it is";
}

bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool Utf8ToLatin1(const std::string& utf8, std::string& latin1, char32_t& bad) {
    latin1.clear();
    latin1.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t cp = NextCodePoint(utf8, i);
        if (cp > 0xFF) {
            bad = cp;
            return false;
        }
        latin1 += static_cast<char>(cp);
    }
    return true;
}

std::optional<char32_t> LinuxFiles::firstUnwritable(const std::string& text,
                                                             TextFileKind kind) {
    if (kind != TextFileKind::MessageFile) return std::nullopt;
    std::string ignored;
    char32_t bad = 0;
    if (Utf8ToLatin1(text, ignored, bad)) return std::nullopt;
    return bad;
}

namespace {

class LinuxStagedFile final : public StagedFile {
public:
    LinuxStagedFile(std::string temp, std::string path) : temp_(std::move(temp)), path_(std::move(path)) {}
    ~LinuxStagedFile() override {
        if (!committed_) ::unlink(temp_.c_str());
    }
    bool commit(std::string& error) override {
        // The rename replaces the name itself: had a link been put there
        // since the look at staging, the link would be replaced, never
        // followed.
        if (::rename(temp_.c_str(), path_.c_str()) != 0) {
            error = std::strerror(errno);
            return false;
        }
        committed_ = true;
        return true;
    }
    bool undo(std::string& error) override {
        error = "the old file was not kept";
        return false;
    }

private:
    std::string temp_, path_;
    bool committed_ = false;
};

}  // namespace

std::unique_ptr<StagedFile> LinuxFiles::stage(const std::string& path, const std::string& text,
                                              TextFileKind kind, bool ownerOnly, std::string& error) {
    if (path.empty() || path.back() == '/') {
        error = "no file name";
        return nullptr;
    }
    std::string bytes;
    if (kind == TextFileKind::MessageFile) {
        char32_t bad = 0;
        if (!Utf8ToLatin1(text, bytes, bad)) {
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(bad));
            error = std::string("the text holds a character that ISO-8859-1 cannot hold (") + code + ")";
            return nullptr;
        }
    } else {
        bytes = text;
    }
    bytes += "\r\n";

    mode_t mode = 0644;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            error = Describe(st);
            return nullptr;
        }
        mode = st.st_mode & 07777;
    } else if (errno != ENOENT) {
        error = std::strerror(errno);
        return nullptr;
    }
    if (ownerOnly) mode = 0600;

    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = (slash == std::string::npos ? "" : folder) + "." + base + ".XXXXXX";
    // Created 0600 with O_EXCL: nobody else can have it open.
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return nullptr;
    }
    auto fail = [&](int err) -> std::unique_ptr<StagedFile> {
        ::close(fd);
        ::unlink(temp.c_str());
        error = std::strerror(err);
        return nullptr;
    };
    if (mode != 0600 && ::fchmod(fd, mode) != 0) return fail(errno);
    if (!WriteAll(fd, bytes)) return fail(errno);
    if (::fdatasync(fd) != 0) return fail(errno);
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        error = std::strerror(err);
        return nullptr;
    }
    return std::make_unique<LinuxStagedFile>(temp, path);
}

bool LinuxFiles::isFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::optional<std::uintmax_t> LinuxFiles::fileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return static_cast<std::uintmax_t>(st.st_size);
}

std::optional<std::string> LinuxFiles::readFrom(const std::string& path, std::uintmax_t offset,
                                                std::size_t max) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    const auto size = static_cast<std::uintmax_t>(st.st_size);
    if (size < offset) offset = 0;
    if (size - offset > max) offset = size - max;
    std::string text(static_cast<std::size_t>(size - offset), '\0');
    const ssize_t n = ::pread(fd, text.data(), text.size(), static_cast<off_t>(offset));
    ::close(fd);
    if (n < 0) return std::nullopt;
    text.resize(static_cast<std::size_t>(n));
    return text;
}

std::string LinuxFiles::openToOthers(const std::string&) { return {}; }

bool LinuxFiles::secureLog(const std::string&, std::string&) { return true; }

}  // namespace fhsw
