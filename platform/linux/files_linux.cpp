#include "platform/linux/files_linux.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include <QList>
#include <QString>

#include "platform/linux/file_access.h"

namespace fhsw {

namespace {

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string Describe(const struct stat& st) {
    if (S_ISLNK(st.st_mode)) return "a symbolic link stands in its place - not written through, left as it is";
    if (S_ISDIR(st.st_mode)) return "a folder stands in its place";
    return "something other than a regular file stands in its place - left as it is";
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno != EINTR) return false;
        if (n > 0) bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string Reason() { return std::strerror(errno); }

}  // namespace

std::optional<char32_t> LinuxFiles::firstUnwritable(const std::string& text, TextFileKind kind) {
    // Bytes that are not UTF-8 come out as U+FFFD.
    if (kind == TextFileKind::MessageFile)
        for (const char32_t c : FromUtf8(text).toUcs4())
            if (c > 0xFF) return c;
    return std::nullopt;
}

namespace {

// The new text is written to a temporary file beside the file (locked with
// flock while this object lives, so that no other save takes it for a
// leftover). commit() swaps the two names in one step (renameat2 with
// RENAME_EXCHANGE): the file's place holds the new text and the temporary
// name the old file, kept (and locked) for undo(), which swaps them back.
// Without an old file the temporary is renamed into the place only if the
// place is still free (RENAME_NOREPLACE), and undo() removes it again. On a
// file system that knows neither (some network file systems) a plain rename
// replaces the file, and there is no way back. The destructor removes what
// the temporary name holds then: the text never committed, the old file
// after a commit, the new text after an undo.
class LinuxStagedFile final : public StagedFile {
public:
    LinuxStagedFile(std::string temp, std::string path, int fd, int oldFd)
        : temp_(std::move(temp)), path_(std::move(path)), fd_(fd), oldFd_(oldFd) {}
    ~LinuxStagedFile() override {
        if (state_ == State::Staged || state_ == State::Swapped || state_ == State::SwappedBack) {
            ::unlink(temp_.c_str());
        }
        ::close(fd_);
        if (oldFd_ >= 0) ::close(oldFd_);
    }
    bool commit(std::string& error) override {
        if (state_ != State::Staged) return true;
        if (swap()) {
            struct stat st {};
            if (::lstat(temp_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
                lockOld(st);
                return state_ = State::Swapped, true;
            }
            // Something else was put in its place since staging: it goes back.
            swap();
            return error = Describe(st), false;
        }
        if (errno == ENOENT && ::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, path_.c_str(), RENAME_NOREPLACE) == 0)
            return state_ = State::Placed, true;
        if (errno == EINVAL && ::rename(temp_.c_str(), path_.c_str()) == 0) return state_ = State::Replaced, true;
        return error = Reason(), false;
    }
    bool undo(std::string& error) override {
        struct stat st {}, mine {};
        switch (state_) {
        case State::Staged:
        case State::SwappedBack:
        case State::Removed: return true;
        case State::Replaced: return error = "the old file could not be kept on this file system", false;
        case State::Swapped:
            if (!swap()) break;
            return state_ = State::SwappedBack, true;
        case State::Placed:
            // Only the file that this put there is taken away.
            if (::fstat(fd_, &mine) != 0 || ::lstat(path_.c_str(), &st) != 0) break;
            if (st.st_ino != mine.st_ino) return error = "it was replaced since it was written", false;
            if (::unlink(path_.c_str()) != 0) break;
            return state_ = State::Removed, true;
        }
        return error = Reason(), false;
    }

private:
    enum class State { Staged, Swapped, SwappedBack, Placed, Removed, Replaced };
    bool swap() { return ::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, path_.c_str(), RENAME_EXCHANGE) == 0; }
    // The old file, now under the temporary name: locked like the temporary.
    void lockOld(const struct stat& st) {
        struct stat locked {};
        if (oldFd_ >= 0 && ::fstat(oldFd_, &locked) == 0 && locked.st_ino == st.st_ino) return;
        if (oldFd_ >= 0) ::close(oldFd_);
        oldFd_ = ::open(temp_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (oldFd_ >= 0) ::flock(oldFd_, LOCK_SH | LOCK_NB);
    }

    std::string temp_, path_;
    int fd_, oldFd_;
    State state_ = State::Staged;
};

}  // namespace

std::unique_ptr<StagedFile> LinuxFiles::stage(const std::string& path, const std::string& text,
                                              TextFileKind kind, bool ownerOnly, std::string& error) {
    if (const auto bad = firstUnwritable(text, kind)) {
        char code[16];
        std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(*bad));
        error = std::string("the text holds a character that ISO-8859-1 cannot hold (") + code + ")";
        return nullptr;
    }
    std::string bytes = kind == TextFileKind::MessageFile ? FromUtf8(text).toLatin1().toStdString() : text;
    bytes += "\r\n";

    mode_t mode = 0644;
    int oldFd = -1;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) return error = Describe(st), nullptr;
        mode = st.st_mode & 07777;
        // Locked while it may be kept aside for undo().
        oldFd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (oldFd >= 0) ::flock(oldFd, LOCK_SH | LOCK_NB);
    } else if (errno != ENOENT) {
        return error = Reason(), nullptr;
    }
    if (ownerOnly) mode = 0600;

    // Temporary files: "." + its name + ".XXXXXX" beside it.
    const std::string folder = FolderOf(path), prefix = std::string(".").append(path, path.find_last_of('/') + 1) + ".";
    RemoveLeftovers(folder, prefix, prefix.size() + 6);
    std::string temp = folder + "/" + prefix + "XXXXXX";
    // Created 0600 with O_EXCL: nobody else can have it open.
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0 || (mode != 0600 && ::fchmod(fd, mode) != 0) ||
        !WriteAll(fd, bytes) || ::fdatasync(fd) != 0) {
        error = Reason();
        if (fd >= 0) ::unlink(temp.c_str()), ::close(fd);
        if (oldFd >= 0) ::close(oldFd);
        return nullptr;
    }
    return std::make_unique<LinuxStagedFile>(temp, path, fd, oldFd);
}

bool LinuxFiles::isFile(const std::string& path) { return fileSize(path).has_value(); }

std::optional<std::uintmax_t> LinuxFiles::fileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return static_cast<std::uintmax_t>(st.st_size);
}

std::optional<std::string> LinuxFiles::readFrom(const std::string& path, std::uintmax_t offset,
                                                std::size_t max) {
    // Never waits: with O_NONBLOCK a FIFO opens without waiting for a writer,
    // and only a regular file is read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    std::optional<std::string> text;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        const auto size = static_cast<std::uintmax_t>(st.st_size);
        if (size < offset) offset = 0;
        if (size - offset > max) offset = size - max;
        text.emplace(static_cast<std::size_t>(size - offset), '\0');
        const ssize_t n = ::pread(fd, text->data(), text->size(), static_cast<off_t>(offset));
        if (n < 0) text.reset();
        else text->resize(static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text;
}

std::string LinuxFiles::openToOthers(const std::string& path) { return OpenToOthers(path); }

bool LinuxFiles::secureLog(const std::string& path, std::string& error) {
    // One look, at what is opened: without following a link or waiting on a
    // FIFO. A missing log is made now, private, so that the mail client
    // appends to a file of this user's that nobody else can read.
    const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int fd = ::open(path.c_str(), flags);
    if (fd < 0 && errno == ENOENT) fd = ::open(path.c_str(), flags | O_CREAT | O_EXCL, 0600);
    struct stat st {};
    std::string why;
    if (fd < 0 && errno == ELOOP) why = " is a symbolic link; the mail client would write through it";
    else if (fd < 0 || ::fstat(fd, &st) != 0) why = ": " + Reason();
    else if (!S_ISREG(st.st_mode)) why = " is not a regular file";
    else if (st.st_uid != ::geteuid()) why = " belongs to another user (" + UserName(st.st_uid) + ")";
    else if ((st.st_mode & 077) != 0 && ::fchmod(fd, 0600) != 0) why = ": " + Reason();
    if (fd >= 0) ::close(fd);
    if (!why.empty()) error = path + why;
    return why.empty();
}

}  // namespace fhsw
