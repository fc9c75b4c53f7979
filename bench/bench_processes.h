// What the process benchmarks share: a machine full of sleeping processes,
// the user they run as, and their command line ("--NAME N" then counts).
#pragma once

#include <dirent.h>
#include <grp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace bench {

constexpr uid_t kNobody = 65534;

// How many processes /proc shows.
inline int CountProcesses() {
    int n = 0;
    if (DIR* d = ::opendir("/proc")) {
        while (const dirent* e = ::readdir(d)) n += e->d_name[0] >= '0' && e->d_name[0] <= '9';
        ::closedir(d);
    }
    return n;
}

// Runs as `uid` from here on (this process only).
inline bool BecomeUser(uid_t uid) {
    if (uid == ::geteuid()) return true;
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(uid) != 0) return false;
    // A changed user makes a process undumpable, and its /proc folder
    // root's; an ordinary program of that user is dumpable.
    ::prctl(PR_SET_DUMPABLE, 1);
    return true;
}

// Forks `count` sleepers, running as `uid`: each ends when this program
// ends, and after five minutes at most.
inline std::vector<pid_t> StartSleepers(int count, uid_t uid) {
    std::vector<pid_t> pids;
    const pid_t parent = ::getpid();
    for (int i = 0; i < count; ++i) {
        const pid_t pid = ::fork();
        if (pid < 0) {
            std::fprintf(stderr, "could start only %d sleepers: %s\n", i, std::strerror(errno));
            break;
        }
        if (pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent) ::_exit(0);
            if (!BecomeUser(uid)) ::_exit(1);
            ::alarm(300);
            for (;;) ::pause();
        }
        pids.push_back(pid);
    }
    return pids;
}

// Kills the sleepers and reaps them, by their ids.
inline void StopAll(const std::vector<pid_t>& pids) {
    for (const pid_t pid : pids) ::kill(pid, SIGKILL);
    for (const pid_t pid : pids) {
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
}

// "--<option> N" sets `value` (at least 1); every other argument is a count
// of processes (default 1,000 and 5,000).
inline std::vector<int> ParseCounts(int argc, char** argv, const char* option, int& value) {
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], option) == 0 && i + 1 < argc) {
            value = std::max(1, std::atoi(argv[++i]));
        } else {
            counts.push_back(std::max(0, std::atoi(argv[i])));
        }
    }
    if (counts.empty()) counts = {1000, 5000};
    return counts;
}

}  // namespace bench
