// One process-list query against spawning `pgrep -x` for the same answer, on
// a machine with many processes: starts sleeping processes until /proc holds
// about COUNT (for each COUNT given), then times both, interleaved, and prints
// medians, ranges and their ratio. Run as root, it does so twice: with the
// sleepers running as this user, and running as another user (nobody), the
// usual case on a shared server, where the query passes them over after one
// look. The name asked for is one that nothing runs, so that both look at
// every process. Prints figures; asserts nothing.
//
//   process_query_bench [--rounds N] [COUNT...]      (default: 11 rounds, 1000 5000)
//
// The sleepers are children of this program: each ends when the program ends
// (and after five minutes at most), and all are killed and reaped by their ids.
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <vector>

#include "platform/linux/process_query_linux.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kAbsentName = "BenchMail.exe";  // 13 bytes, like SendEmail.exe
constexpr uid_t kNobody = 65534;

int CountProcesses() {
    int n = 0;
    if (DIR* d = ::opendir("/proc")) {
        while (const dirent* e = ::readdir(d)) n += e->d_name[0] >= '0' && e->d_name[0] <= '9';
        ::closedir(d);
    }
    return n;
}

// Forks `count` sleepers, running as `uid` when it is not ours.
std::vector<pid_t> StartSleepers(int count, uid_t uid) {
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
            if (uid != ::geteuid() &&
                (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(uid) != 0)) {
                ::_exit(1);
            }
            // A changed user makes a process undumpable, and its /proc folder
            // root's; an ordinary program of that user is dumpable.
            ::prctl(PR_SET_DUMPABLE, 1);
            ::alarm(300);
            for (;;) ::pause();
        }
        pids.push_back(pid);
    }
    return pids;
}

void StopAll(const std::vector<pid_t>& pids) {
    for (const pid_t pid : pids) ::kill(pid, SIGKILL);
    for (const pid_t pid : pids) {
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
}

double RunPgrep() {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    std::string a0 = "pgrep", a1 = "-x", a2 = kAbsentName;
    char* argv[] = {a0.data(), a1.data(), a2.data(), nullptr};
    const auto start = Clock::now();
    pid_t pid = -1;
    if (::posix_spawn(&pid, "/usr/bin/pgrep", &actions, nullptr, argv, environ) == 0) {
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Summary {
    double median, low, high;
};
Summary Summarize(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    const double median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    return {median, v.front(), v.back()};
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 11;
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else {
            counts.push_back(std::max(0, std::atoi(argv[i])));
        }
    }
    if (counts.empty()) counts = {1000, 5000};
    std::vector<uid_t> owners = {::geteuid()};
    if (::geteuid() == 0) owners.push_back(kNobody);

    fhsw::LinuxProcessQuery query;
    std::printf("query IsProcessRunning(\"%s\") against spawning pgrep -x %s, %d rounds of 5 queries and 1 pgrep\n",
                kAbsentName, kAbsentName, rounds);
    for (const int count : counts) {
        for (const uid_t owner : owners) {
            const std::vector<pid_t> sleepers = StartSleepers(std::max(0, count - CountProcesses()), owner);
            ::usleep(200 * 1000);
            const int present = CountProcesses();
            std::vector<double> queries, pgreps;
            bool found = false;
            for (int r = 0; r < rounds; ++r) {
                for (int q = 0; q < 5; ++q) {
                    const auto start = Clock::now();
                    found |= query.isProcessRunning(kAbsentName);
                    queries.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
                }
                pgreps.push_back(RunPgrep());
            }
            StopAll(sleepers);
            const Summary q = Summarize(queries), p = Summarize(pgreps);
            std::printf("%5d processes, %4zu sleepers of %s: query %.2f ms (%.2f-%.2f), pgrep %.1f ms (%.1f-%.1f), "
                        "pgrep/query %.1fx%s\n",
                        present, sleepers.size(), owner == ::geteuid() ? "this user" : "another user",
                        q.median, q.low, q.high, p.median, p.low, p.high, p.median / q.median,
                        found ? " (FOUND: someone runs the name)" : "");
            std::fflush(stdout);
        }
    }
    return 0;
}
