// fh-sendwarden-run SCRIPT: runs a runner script ("SENDEMAIL-RUNNER.BAT")
// on Linux the way the Windows command interpreter would run it.
//
// Understood: what the program writes into runner scripts (see RunnerLine in
// compose/batch_parsing.h): echo off / echo on (with echo on each command is
// shown after a blank line and the prompt, the current folder and ">"),
// echo., echo TEXT, TITLE TEXT (an xterm title, only when stdout is a
// terminal), REM, a leading '@', blank lines, CR characters (dropped; lines
// end at LF), "%%", carets and quotes, and a command line that starts a
// program named by its path, whose arguments are split by the Microsoft C
// runtime rules. Anything else is reported with its line number before any
// line is run, and nothing runs.
//
// The mail client's line (SendEmail.exe) gets the password on its standard
// input and a private copy of a message file of the user's: see mail_client.h.
// Every program starts with its standard input on /dev/null (or the
// password), never a terminal.
//
// Only a script that is a regular file of this user, not a link, and no
// larger than any runner script the program writes (1 MB) is run: in an
// install folder that others may write to, a link or another user's file put
// in its place would run their commands as ours.
//
// Exit status: that of the last program started (0 when none was), 127 when
// the last program could not be started, 2 when the script is refused or
// cannot be read (missing, a folder, a FIFO or anything but a regular file:
// refused at once, never waited on), holds a line that is not understood, or
// when the last program's message file cannot be sent.
#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "compose/batch_parsing.h"
#include "tools/run/mail_client.h"

extern char** environ;

namespace {

constexpr const char* kName = "fh-sendwarden-run";
constexpr std::size_t kMaxScriptBytes = 1 << 20;

std::string Prompt() {
    char buf[4096];
    return std::string(getcwd(buf, sizeof buf) ? buf : "") + ">";
}

// A private file in memory (mode 0600) that holds `text`, read from its
// start; closed on exec, at 10 or above (clear of the descriptors that a
// program is given). -1 on failure, with errno.
int MemoryFile(const std::string& text) {
    const int fd = ::memfd_create(kName, MFD_CLOEXEC);
    const int lifted = fd < 0 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 10);
    if (fd >= 0) ::close(fd);
    if (lifted >= 0 && ::fchmod(lifted, 0600) == 0 &&
        ::write(lifted, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
        ::lseek(lifted, 0, SEEK_SET) == 0) {
        return lifted;
    }
    if (lifted >= 0) ::close(lifted);
    return -1;
}

// Starts the program with stdout and stderr inherited, stdin on /dev/null or
// the password, and waits for it. `where` names the line for a message.
int RunProgram(const fhsw::RunnerLine& line, const std::string& script, const std::string& where) {
    std::vector<std::string> args = line.argv;
    int input = -1, message = -1;
    if (fhsw::run::IsMailClient(args.front())) {
        fhsw::run::MailClientCall call = fhsw::run::PrepareMailClientCall(args);
        args = std::move(call.argv);
        std::string error;
        const auto copy = call.messageArg != 0 ? fhsw::run::MessageCopyText(call.messageFile, script, error)
                                               : std::nullopt;
        if (copy && (message = MemoryFile(*copy)) < 0)
            error = std::string("cannot copy the message file: ") + std::strerror(errno);
        if (error.empty() && !call.password.empty() && (input = MemoryFile(call.password + "\n")) < 0)
            error = "cannot hand the SMTP password to " + args.front() + ": " + std::strerror(errno);
        if (!error.empty()) {
            std::cerr << where << error << "\n";
            if (message >= 0) ::close(message);
            return 2;
        }
        if (copy) args[call.messageArg] = fhsw::run::kMessageCopyArg;
    }
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    if (input >= 0)
        posix_spawn_file_actions_adddup2(&files, input, STDIN_FILENO);
    else
        posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (message >= 0) posix_spawn_file_actions_adddup2(&files, message, fhsw::run::kMessageCopyFd);
    std::cout.flush();
    pid_t pid = 0;
    const int err = posix_spawn(&pid, args.front().c_str(), &files, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    for (int fd : {input, message})
        if (fd >= 0) ::close(fd);
    if (err != 0) {
        std::cerr << where << "cannot run " << args.front() << ": " << std::strerror(err) << "\n";
        return 127;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The script's text, or false with the reason in `error`.
bool ReadScript(const std::string& path, std::string& text, std::string& error) {
    // Opened without waiting (a FIFO would block until a writer came) and
    // without following a link, then refused unless it is our regular file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    struct stat st {};
    if (fd < 0) {
        error = errno == ELOOP ? "will not run " + path + ": it is a symbolic link, not a file of yours"
                               : "cannot read " + path + ": " + std::strerror(errno);
    } else if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "cannot read " + path + (S_ISDIR(st.st_mode) ? ": it is a folder" : ": it is not a regular file");
    } else if (st.st_uid != ::geteuid()) {
        error = "will not run " + path + ": it belongs to another user";
    } else if (static_cast<std::size_t>(st.st_size) > kMaxScriptBytes) {
        error = "will not run " + path + ": it is larger than 1 MB, more than any runner script holds";
    } else if (!fhsw::run::ReadWhole(fd, st, text)) {
        error = "cannot read " + path + ": " + std::strerror(errno);
    }
    if (fd >= 0) ::close(fd);
    return error.empty();
}

}  // namespace

int main(int argc, char** argv) {
    using Kind = fhsw::RunnerLine::Kind;
    if (argc != 2) {
        std::cerr << "usage: " << kName << " SCRIPT\n";
        return 2;
    }
    std::string text, error;
    if (!ReadScript(argv[1], text, error)) {
        std::cerr << kName << ": " << error << "\n";
        return 2;
    }
    std::vector<fhsw::RunnerLine> lines;
    bool understood = true;
    for (std::string_view rest = text; !rest.empty();) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        lines.push_back(fhsw::ParseRunnerLine(rest.substr(0, end)));
        rest.remove_prefix(std::min(end + 1, rest.size()));
        if (lines.back().kind == Kind::Unsupported) {
            std::cerr << kName << ": line " << lines.size() << ": " << lines.back().text << ": "
                      << lines.back().display << "\n";
            understood = false;
        }
    }
    if (!understood) return 2;

    bool echo = true;
    int status = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const fhsw::RunnerLine& line = lines[i];
        if (line.kind == Kind::Blank) continue;
        if (echo && line.shown) std::cout << "\n" << Prompt() << line.display << "\n";
        if (line.kind == Kind::Echo) std::cout << line.text << "\n";
        if (line.kind == Kind::EchoState) echo = line.text == "on";
        // The window's title, in a terminal (a visible run).
        if (line.kind == Kind::Title && ::isatty(STDOUT_FILENO)) std::cout << "\033]0;" << line.text << "\007";
        if (line.kind == Kind::Program)
            status = RunProgram(line, argv[1], std::string(kName) + ": line " + std::to_string(i + 1) + ": ");
    }
    std::cout.flush();
    return status;
}
