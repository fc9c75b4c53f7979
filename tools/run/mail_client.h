// How fh-sendwarden-run hands the runner script's SendEmail.exe line to the
// mail client (Debian's sendemail) on Linux, where every user can read every
// process's command line:
//  - the SMTP password leaves the command line: "-xp VALUE" and the copy
//    "-o password=VALUE" are dropped, and VALUE goes to the mail client's
//    standard input, from where it reads the password when it has a user
//    name and no password. Only then: without a user name it logs in to
//    nothing and would take its standard input as the message body.
//    Standard input is never a terminal (the mail client would ask there).
//  - a message file other than the program's own SENDEMAIL-MESSAGE.txt
//    beside the runner script (which SAVE wrote with its leading dots
//    doubled) is handed over as a private copy with every line's leading "."
//    doubled: the mail client sends lines as they are, and the SMTP server
//    takes the first "." off each line that starts with one (and a lone "."
//    line ends the mail).
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

namespace fhsw::run {

// Whether a program is the mail client: its file name is SendEmail.exe.
bool IsMailClient(const std::string& program);

struct MailClientCall {
    std::vector<std::string> argv;  // without the password
    std::string password;           // for standard input; "" when none is wanted
    std::size_t messageArg = 0;     // index of "message-file=PATH" in argv; 0: none
    std::string messageFile;        // its PATH
};

// Where the mail client finds the private copy of a message file: the
// descriptor it inherits as 3.
inline constexpr int kMessageCopyFd = 3;
inline constexpr char kMessageCopyArg[] = "message-file=/proc/self/fd/3";

MailClientCall PrepareMailClientCall(const std::vector<std::string>& argv);

// The text the mail client is to get for the message file at `path`, its
// leading dots doubled; nothing when the file is to be passed as it is (the
// program's own message file beside `scriptPath`, or one that cannot be
// opened: the mail client reports that in its log). A file that is not a
// regular file (a FIFO would never end) or cannot be read is refused:
// nothing, with the reason in `error`.
std::optional<std::string> MessageCopyText(const std::string& path, const std::string& scriptPath,
                                           std::string& error);

// What the regular file open at `fd` holds, as much as `st` (its fstat)
// gives it; false on a read error.
bool ReadWhole(int fd, const struct stat& st, std::string& out);

}  // namespace fhsw::run
