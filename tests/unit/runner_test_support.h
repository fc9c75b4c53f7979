// Helpers for the tests that run fh-sendwarden-run: a temporary folder and a
// child process with captured output and a bounded lifetime.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fhsw::test {

inline std::string RunnerPath() { return std::string(FHSW_BINARY_DIR) + "/fh-sendwarden-run"; }

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

inline void WriteFile(const std::string& path, const std::string& content, bool executable = false) {
    std::ofstream(path, std::ios::binary) << content;
    if (executable) std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct ProcessResult {
    int status = -1;  // exit status, or -1 when it had to be killed
    std::string out, err;
};

// Runs argv in `folder` with stdin on /dev/null, stdout and stderr captured
// in files; kills it after `timeoutSeconds`.
inline ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& folder,
                                int timeoutSeconds = 60) {
    const std::string outPath = folder + "/.stdout", errPath = folder + "/.stderr";
    pid_t pid = fork();
    if (pid == 0) {
        int in = open("/dev/null", O_RDONLY);
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (chdir(folder.c_str()) != 0) _exit(126);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(126);
    }
    ProcessResult r;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            r.out = ReadFile(outPath);
            r.err = ReadFile(errPath);
            return r;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = ReadFile(outPath);
    r.err = ReadFile(errPath);
    return r;
}

// Runs fh-sendwarden-run on a script with the given content, in `folder`.
inline ProcessResult RunScript(const std::string& folder, const std::string& script,
                               const std::string& name = "SENDEMAIL-RUNNER.BAT") {
    WriteFile(folder + "/" + name, script);
    return RunProcess({RunnerPath(), folder + "/" + name}, folder);
}

}  // namespace fhsw::test
