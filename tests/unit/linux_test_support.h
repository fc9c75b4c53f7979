// Helpers of the Linux platform and runner tests: a scratch folder, whole
// files, and processes with a bounded lifetime.
#pragma once

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/other_user.h"

namespace fhsw::test {

namespace fs = std::filesystem;

inline std::string RunnerPath() { return std::string(FHSW_BINARY_DIR) + "/fh-sendwarden-run"; }

// A fresh folder in `in`, removed with all it holds.
struct TempFolder {
    explicit TempFolder(std::string in = fs::temp_directory_path()) : path(::mkdtemp((in += "/fhsw-XXXXXX").data())) {}
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    std::size_t count() const { return std::distance(fs::directory_iterator(path), {}); }
    const std::string path;
};

inline std::string WriteFile(const std::string& path, const std::string& text, mode_t mode = 0644) {
    std::ofstream(path, std::ios::binary) << text;
    ::chmod(path.c_str(), mode);
    return path;
}

inline std::string ReadFile(const std::string& path) {
    std::stringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

inline mode_t ModeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Makes `folder` open to all (mode 1777, as /tmp is) and runs a shell
// command there, as another user of the machine when it starts with "!".
inline bool Plant(const std::string& folder, const std::string& command) {
    fs::create_directory(folder);
    ::chmod(folder.c_str(), 01777);
    const bool theirs = command[0] == '!';
    const std::string line = "cd '" + folder + "' && " + command.substr(theirs);
    return theirs ? AsOtherUser(*OtherUser(), line) : std::system(line.c_str()) == 0;
}

// The state letter of a process from /proc, or 0 when it is gone.
inline char ProcessState(pid_t pid) {
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    return stat.rfind(") ") == std::string::npos ? 0 : stat[stat.rfind(") ") + 2];
}

// Polls until `done` holds, for at most `seconds`.
template <typename Done>
bool Eventually(Done done, int seconds = 5) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return done();
}

// Waits for a child process, killing it after `seconds`; its exit code, or -1.
inline int WaitChild(pid_t pid, int seconds = 60) {
    int status = 0;
    if (!Eventually([&] { return ::waitpid(pid, &status, WNOHANG) != 0; }, seconds)) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The exit status (137 when it had to be killed) and what was written to stdout and stderr.
struct ProcessResult {
    int status;
    std::string out, err;
};

// Runs argv in `folder` with stdin on /dev/null, stdout and stderr captured;
// killed after 60 seconds.
inline ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& folder) {
    const auto quoted = [](const std::string& s) {
        std::string q = "'";
        for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return q + "'";
    };
    std::string command = "cd ";
    command += quoted(folder) + " && exec timeout -s KILL 60";
    for (const std::string& a : argv) command.append(" ").append(quoted(a));
    const int status = std::system((command + " </dev/null >.stdout 2>.stderr").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(folder + "/.stdout"), ReadFile(folder + "/.stderr")};
}

}  // namespace fhsw::test
