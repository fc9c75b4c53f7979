// fh-sendwarden-run SCRIPT: runs a runner script ("SENDEMAIL-RUNNER.BAT")
// on Linux the way the Windows command interpreter would run it.
//
// Understood: echo off / echo on (with echo on each command is shown after a
// blank line and the prompt, the current folder and ">"), echo., echo TEXT,
// TITLE TEXT (an xterm title, only when stdout is a terminal), REM, labels,
// a leading '@', blank lines, CR characters (dropped; lines end at LF), "%%",
// carets and quotes, and a command line that starts a program, whose
// arguments are split by the Microsoft C runtime rules. Anything else is
// reported with its line number before any line is run, and nothing runs.
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
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
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

std::vector<std::string> ReadLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string WithoutCr(const std::string& s) {
    std::string out;
    for (char c : s)
        if (c != '\r') out += c;
    return out;
}

std::string Prompt() {
    char buf[4096];
    return std::string(getcwd(buf, sizeof buf) ? buf : "") + ">";
}

void SetTitle(const std::string& text) {
    if (!isatty(STDOUT_FILENO)) return;
    std::string clean;
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) clean += c;
    std::cout << "\033]0;" << clean << "\007";
}

// A descriptor at 10 or above (none of the child's fixed ones), closed on exec.
int Lifted(int fd) {
    if (fd < 0 || fd >= 10) return fd;
    const int lifted = ::fcntl(fd, F_DUPFD_CLOEXEC, 10);
    ::close(fd);
    return lifted;
}

// Starts the program with stdout and stderr inherited, stdin on /dev/null or
// the password, and waits for it.
int RunProgram(const fhsw::RunnerLine& line, const std::string& script, size_t lineNumber) {
    std::vector<std::string> args = line.argv;
    std::string password;
    int message = -1;
    const std::string where = std::string(kName) + ": line " + std::to_string(lineNumber) + ": ";
    if (fhsw::run::IsMailClient(line.program)) {
        fhsw::run::MailClientCall call = fhsw::run::PrepareMailClientCall(line.argv);
        args = std::move(call.argv);
        password = std::move(call.password);
        if (call.messageArg != 0) {
            std::string error;
            const int copy = fhsw::run::PrivateMessageCopy(call.messageFile, script, error);
            message = Lifted(copy);
            if (copy >= 0 && message < 0) error = "cannot copy the message file: " + std::string(std::strerror(errno));
            if (!error.empty()) {
                std::cerr << where << error << "\n";
                return 2;
            }
            if (message >= 0) args[call.messageArg] = fhsw::run::kMessageCopyArg;
        }
    }
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    // The password waits in a pipe before the program starts; the pipe
    // takes it whole or it is refused (never blocks).
    int input[2] = {-1, -1};
    if (!password.empty()) {
        if (::pipe2(input, O_CLOEXEC) != 0 || (input[0] = Lifted(input[0])) < 0 ||
            ::fcntl(input[1], F_SETFL, O_NONBLOCK) != 0 || !fhsw::run::WriteAll(input[1], password + "\n")) {
            std::cerr << where << "cannot hand the SMTP password to " << line.program << ": "
                      << std::strerror(errno) << "\n";
            for (int fd : {input[0], input[1], message})
                if (fd >= 0) ::close(fd);
            return 2;
        }
        ::close(input[1]);
    }
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    if (input[0] >= 0)
        posix_spawn_file_actions_adddup2(&files, input[0], STDIN_FILENO);
    else
        posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (message >= 0) posix_spawn_file_actions_adddup2(&files, message, fhsw::run::kMessageCopyFd);

    std::cout.flush();
    pid_t pid = 0;
    int err = line.program.find('/') == std::string::npos
                  ? posix_spawnp(&pid, line.program.c_str(), &files, nullptr, argv.data(), environ)
                  : posix_spawn(&pid, line.program.c_str(), &files, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    for (int fd : {input[0], message})
        if (fd >= 0) ::close(fd);
    if (err != 0) {
        std::cerr << where << "cannot run " << line.program << ": " << std::strerror(err) << "\n";
        return 127;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return 127;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return 1;
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
    } else if (errno = 0; static_cast<std::size_t>(st.st_size) > kMaxScriptBytes ||
                          !fhsw::run::ReadAll(fd, kMaxScriptBytes, text)) {
        error = errno != 0 ? "cannot read " + path + ": " + std::strerror(errno)
                           : "will not run " + path + ": it is larger than 1 MB, more than any runner script holds";
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
    std::vector<std::string> raw = ReadLines(text);
    std::vector<fhsw::RunnerLine> lines;
    bool understood = true;
    for (size_t i = 0; i < raw.size(); ++i) {
        lines.push_back(fhsw::ParseRunnerLine(raw[i]));
        if (lines.back().kind == Kind::Unsupported) {
            std::cerr << kName << ": line " << i + 1 << ": " << lines.back().error << ": "
                      << WithoutCr(raw[i]) << "\n";
            understood = false;
        }
    }
    if (!understood) return 2;

    bool echo = true;
    int status = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        const fhsw::RunnerLine& line = lines[i];
        if (line.kind == Kind::Blank || line.kind == Kind::Label) continue;
        if (echo && line.shown) std::cout << "\n" << Prompt() << line.display << "\n";
        switch (line.kind) {
        case Kind::EchoText: std::cout << line.text << "\n"; break;
        case Kind::EchoState: echo = line.echoOn; break;
        case Kind::EchoQuery: std::cout << (echo ? "ECHO is on.\n" : "ECHO is off.\n"); break;
        case Kind::Title: SetTitle(line.text); break;
        case Kind::Program: status = RunProgram(line, argv[1], i + 1); break;
        default: break;
        }
    }
    std::cout.flush();
    return status;
}
