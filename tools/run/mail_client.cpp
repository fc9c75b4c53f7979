#include "tools/run/mail_client.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <limits>

#include "compose/run_files.h"
#include "compose/sendemail_contract.h"

namespace fhsw::run {

namespace {

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// The mail client (Perl) takes "0" and "" as no value at all.
bool PerlTrue(const std::string& v) { return !v.empty() && v != "0"; }

}  // namespace

bool WriteAll(int fd, const std::string& text) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool IsMailClient(const std::string& program) {
    const std::size_t slash = program.rfind('/');
    return program.compare(slash == std::string::npos ? 0 : slash + 1, std::string::npos,
                           SENDEMAIL_IMAGE_NAME) == 0;
}

MailClientCall PrepareMailClientCall(const std::vector<std::string>& argv) {
    MailClientCall call;
    std::string user, fromXp, fromOption;
    bool xp = false;
    for (std::size_t i = 0; i < argv.size(); ++i) {
        const std::string& a = argv[i];
        if (i == 0 || (a != "-xp" && a != "-xu" && a != "-o")) {
            call.argv.push_back(a);
        } else if (a == "-xp") {
            // Whatever follows is the password, even a value the mail
            // client would have refused.
            xp = true;
            if (i + 1 < argv.size()) fromXp = argv[++i];
        } else if (a == "-xu") {
            call.argv.push_back(a);
            if (i + 1 < argv.size() && !StartsWith(argv[i + 1], "-")) {
                if (PerlTrue(argv[i + 1])) user = argv[i + 1];
                call.argv.push_back(argv[++i]);
            }
        } else {
            // "-o" and its name=value items, up to the next switch. An "-o"
            // whose only item was the password goes too.
            std::vector<std::string> items;
            bool dropped = false;
            for (; i + 1 < argv.size() && PerlTrue(argv[i + 1]) && !StartsWith(argv[i + 1], "-"); ++i) {
                const std::string& item = argv[i + 1];
                if (StartsWith(item, "password=")) {
                    fromOption = item.substr(9);
                    dropped = true;
                } else {
                    items.push_back(item);
                }
            }
            if (dropped && items.empty()) continue;
            call.argv.push_back(a);
            for (const std::string& item : items) {
                const std::string value = item.substr(item.find('=') + 1);
                const bool taken = item.find('=') != std::string::npos && !value.empty() &&
                                   !std::isspace(static_cast<unsigned char>(value[0]));
                if (taken && StartsWith(item, "username=")) user = value;
                if (taken && StartsWith(item, "message-file=")) {
                    call.messageArg = call.argv.size();
                    call.messageFile = value;
                }
                call.argv.push_back(item);
            }
        }
    }
    if (PerlTrue(user)) call.password = xp ? fromXp : fromOption;
    return call;
}

bool ReadAll(int fd, std::size_t limit, std::string& out) {
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        if (out.size() + static_cast<std::size_t>(n) > limit) return false;
        out.append(buf, static_cast<std::size_t>(n));
    }
}

int PrivateMessageCopy(const std::string& path, const std::string& scriptPath, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st {}, own {};
    const std::size_t slash = scriptPath.rfind('/');
    const std::string ownPath = (slash == std::string::npos ? std::string(".") : scriptPath.substr(0, slash)) +
                                RunFileNames::Linux().messageFile;
    std::string text;
    int copy = -1;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "cannot send the message file " + path + ": it is not a regular file";
    } else if (::stat(ownPath.c_str(), &own) == 0 && own.st_dev == st.st_dev && own.st_ino == st.st_ino) {
        // SAVE wrote it with its dots doubled already.
    } else if (!ReadAll(fd, std::numeric_limits<std::size_t>::max(), text)) {
        error = "cannot read the message file " + path + ": " + std::strerror(errno);
    } else {
        copy = ::memfd_create("SENDEMAIL-MESSAGE.txt", MFD_CLOEXEC);
        if (copy < 0 || ::fchmod(copy, 0600) != 0 || !WriteAll(copy, DoubleLeadingDots(text))) {
            error = "cannot copy the message file " + path + ": " + std::strerror(errno);
            if (copy >= 0) ::close(copy);
            copy = -1;
        }
    }
    ::close(fd);
    return copy;
}

}  // namespace fhsw::run
