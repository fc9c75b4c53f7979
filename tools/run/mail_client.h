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

// The mail client's copy of the message file named in argument `path`: -1
// when the file is to be passed as it is (the program's own message file, or
// one that cannot be opened: the mail client reports that in its log);
// otherwise a descriptor of a copy in memory, mode 0600, leading dots
// doubled. A file that is not a regular file (a FIFO would never end) or
// cannot be read is refused: -1 with the reason in `error`.
int PrivateMessageCopy(const std::string& path, const std::string& scriptPath, std::string& error);

// Reads a descriptor to its end, at most `limit` bytes; false on a read
// error or when there is more.
bool ReadAll(int fd, std::size_t limit, std::string& out);
bool WriteAll(int fd, const std::string& text);

}  // namespace fhsw::run
