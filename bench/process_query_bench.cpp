// Cost of one process-list look on a busy machine: starts many sleeping
// processes, then times LinuxProcessQuery::isProcessRunning("SendEmail.exe")
// against spawning pgrep for the same question. Prints plain figures.
//
// Usage: process_query_bench [PROCESSES]   (default 1000)
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <string>
#include <vector>

#include "platform/linux/process_query_linux.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

pid_t spawnQuiet(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int waitFor(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

int countProcesses() {
    int n = 0;
    if (DIR* d = ::opendir("/proc")) {
        while (const dirent* e = ::readdir(d)) {
            if (e->d_name[0] >= '0' && e->d_name[0] <= '9') ++n;
        }
        ::closedir(d);
    }
    return n;
}

double medianMs(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

template <typename F>
std::vector<double> timeRuns(int runs, F&& f) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        f();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    const int wanted = argc > 1 ? std::max(0, std::atoi(argv[1])) : 1000;

    // Sleepers with a bounded life, ended by id below.
    std::vector<pid_t> sleepers;
    for (int i = 0; i < wanted; ++i) {
        const pid_t pid = spawnQuiet({"/bin/sleep", "60"});
        if (pid < 0) {
            std::fprintf(stderr, "could start only %d sleepers\n", i);
            break;
        }
        sleepers.push_back(pid);
    }
    ::usleep(300 * 1000);

    fhsw::LinuxProcessQuery query;
    bool found = false;
    timeRuns(3, [&] { found = query.isProcessRunning("SendEmail.exe"); });
    const auto queryMs = timeRuns(51, [&] { found = query.isProcessRunning("SendEmail.exe"); });

    int pgrepStatus = 0;
    const auto pgrepMs = timeRuns(21, [&] {
        const pid_t pid = spawnQuiet({"/usr/bin/pgrep", "-ic", "-x", "SendEmail.exe"});
        pgrepStatus = pid > 0 ? waitFor(pid) : -1;
    });

    std::printf("processes in /proc: %d (sleepers started: %zu)\n", countProcesses(),
                sleepers.size());
    std::printf("isProcessRunning(\"SendEmail.exe\"): median %.3f ms over %zu calls (found: %s)\n",
                medianMs(queryMs), queryMs.size(), found ? "yes" : "no");
    std::printf("spawn pgrep -ic -x SendEmail.exe:  median %.3f ms over %zu runs (exit %d)\n",
                medianMs(pgrepMs), pgrepMs.size(),
                WIFEXITED(pgrepStatus) ? WEXITSTATUS(pgrepStatus) : -1);

    for (const pid_t pid : sleepers) ::kill(pid, SIGKILL);
    for (const pid_t pid : sleepers) waitFor(pid);
    return 0;
}
