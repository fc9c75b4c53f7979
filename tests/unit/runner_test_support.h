// Helpers for the tests that run fh-sendwarden-run: a temporary folder and a
// child process with captured output and a bounded lifetime.
#pragma once

#include <stdlib.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fhsw::test {

inline std::string RunnerPath() { return std::string(FHSW_BINARY_DIR) + "/fh-sendwarden-run"; }

// A fresh folder under /tmp, optionally a sub-folder `nameInside` of it; removed with all it holds.
class TempFolder {
public:
    explicit TempFolder(const std::string& nameInside = "") {
        char pattern[] = "/tmp/fhsw-runner-XXXXXX";
        base_ = mkdtemp(pattern);
        path_ = nameInside.empty() ? base_ : base_ + "/" + nameInside;
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(base_, ec);
    }
    const std::string& path() const { return path_; }

private:
    std::string base_, path_;
};

inline void WriteFile(const std::string& path, const std::string& text, bool executable = false) {
    std::ofstream(path, std::ios::binary) << text;
    if (executable) std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

inline std::string ReadFile(const std::string& path) {
    std::stringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

// The exit status (137 when it had to be killed) and what was written to stdout and stderr.
struct ProcessResult {
    int status;
    std::string out, err;
};

inline std::string ShellQuoted(const std::string& s) {
    std::string quoted = "'";
    for (char c : s) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs argv in `folder` with stdin from `input` and stdout and stderr captured;
// killed after 60 seconds.
inline ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& folder,
                                const std::string& input = "/dev/null") {
    std::string command = "cd ";
    command.append(ShellQuoted(folder)).append(" && exec timeout -s KILL 60");
    for (const std::string& a : argv) command.append(" ").append(ShellQuoted(a));
    const int status = std::system((command + " <" + ShellQuoted(input) + " >.stdout 2>.stderr").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(folder + "/.stdout"),
            ReadFile(folder + "/.stderr")};
}

// Runs fh-sendwarden-run on a script with the given content, in `folder`.
inline ProcessResult RunScript(const std::string& folder, const std::string& script) {
    WriteFile(folder + "/SENDEMAIL-RUNNER.BAT", script);
    return RunProcess({RunnerPath(), folder + "/SENDEMAIL-RUNNER.BAT"}, folder);
}

}  // namespace fhsw::test
