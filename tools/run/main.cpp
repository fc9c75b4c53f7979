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
// Exit status: that of the last program started (0 when none was), 127 when
// the last program could not be started, 2 when the script cannot be read
// (missing, a folder, a FIFO or anything but a regular file: refused at once,
// never waited on) or holds a line that is not understood.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "compose/batch_parsing.h"

extern char** environ;

namespace {

constexpr const char* kName = "fh-sendwarden-run";

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

// Starts the program with the standard streams inherited and waits for it.
int RunProgram(const fhsw::RunnerLine& line, size_t lineNumber) {
    std::vector<char*> argv;
    for (const std::string& a : line.argv) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    std::cout.flush();
    pid_t pid = 0;
    int err = line.program.find('/') == std::string::npos
                  ? posix_spawnp(&pid, line.program.c_str(), nullptr, nullptr, argv.data(), environ)
                  : posix_spawn(&pid, line.program.c_str(), nullptr, nullptr, argv.data(), environ);
    if (err != 0) {
        std::cerr << kName << ": line " << lineNumber << ": cannot run " << line.program << ": "
                  << std::strerror(err) << "\n";
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

}  // namespace

int main(int argc, char** argv) {
    using Kind = fhsw::RunnerLine::Kind;
    if (argc != 2) {
        std::cerr << "usage: " << kName << " SCRIPT\n";
        return 2;
    }
    // Opened without waiting (a FIFO would block until a writer came), then
    // refused unless it is a regular file.
    const int fd = ::open(argv[1], O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        std::cerr << kName << ": cannot read " << argv[1] << ": " << std::strerror(errno) << "\n";
        return 2;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const char* what = S_ISDIR(st.st_mode) ? "it is a folder" : "it is not a regular file";
        std::cerr << kName << ": cannot read " << argv[1] << ": " << what << "\n";
        ::close(fd);
        return 2;
    }
    std::string text;
    char buf[65536];
    while (true) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            std::cerr << kName << ": cannot read " << argv[1] << ": " << std::strerror(errno) << "\n";
            ::close(fd);
            return 2;
        }
        if (n == 0) break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    std::stringstream content;
    content << text;

    std::vector<std::string> raw = ReadLines(content.str());
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
        case Kind::Program: status = RunProgram(line, i + 1); break;
        default: break;
        }
    }
    std::cout.flush();
    return status;
}
