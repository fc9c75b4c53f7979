#include "tools/run/mail_client.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "compose/run_files.h"
#include "compose/sendemail_contract.h"

namespace fhsw::run {

namespace {

// The mail client (Perl) takes "0" and "" as no value at all.
bool PerlTrue(const std::string& v) { return !v.empty() && v != "0"; }

}  // namespace

bool IsMailClient(const std::string& program) {
    return program.substr(program.rfind('/') + 1) == SENDEMAIL_IMAGE_NAME;  // npos + 1: the whole
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
            if (i + 1 < argv.size() && !argv[i + 1].starts_with("-")) {
                if (PerlTrue(argv[i + 1])) user = argv[i + 1];
                call.argv.push_back(argv[++i]);
            }
        } else {
            // "-o" and its name=value items, up to the next switch. An "-o"
            // whose only item was the password goes too.
            std::vector<std::string> items;
            bool dropped = false;
            for (; i + 1 < argv.size() && PerlTrue(argv[i + 1]) && !argv[i + 1].starts_with("-"); ++i) {
                const std::string& item = argv[i + 1];
                if (item.starts_with("password=")) {
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
                if (taken && item.starts_with("username=")) user = value;
                if (taken && item.starts_with("message-file=")) {
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

bool ReadWhole(int fd, const struct stat& st, std::string& out) {
    // A regular file gives all it holds at one read.
    out.resize(static_cast<std::size_t>(st.st_size));
    const ssize_t n = ::pread(fd, out.data(), out.size(), 0);
    out.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
    return n >= 0;
}

std::optional<std::string> MessageCopyText(const std::string& path, const std::string& scriptPath,
                                           std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st {}, own {};
    // The program's own message file, beside the script.
    const std::string ownPath =
        scriptPath.substr(0, scriptPath.rfind('/') + 1) + RunFileNames::Linux().messageFile.substr(1);
    std::string text;
    bool copied = false;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "cannot send the message file " + path + ": it is not a regular file";
    } else if (::stat(ownPath.c_str(), &own) == 0 && own.st_dev == st.st_dev && own.st_ino == st.st_ino) {
        // SAVE wrote it with its dots doubled already.
    } else if (!ReadWhole(fd, st, text)) {
        error = "cannot read the message file " + path + ": " + std::strerror(errno);
    } else {
        copied = true;
    }
    ::close(fd);
    if (!copied) return std::nullopt;
    return DoubleLeadingDots(text);
}

}  // namespace fhsw::run
