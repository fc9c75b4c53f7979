// One process-list query against spawning `pgrep -x` for the same answer, on
// a machine with many processes: starts sleeping processes until /proc holds
// about COUNT (for each COUNT given), then times both, interleaved, and prints
// medians, ranges and their ratio. The measuring process runs as an
// ordinary user (run as root, it becomes nobody), as the program does; run as
// root, the benchmark does it twice: with the sleepers running as that same
// user, and as another user (root), the usual case on a server, where the
// query passes them over after one look. The name asked for is one that nothing runs, so that both look at
// every process. Wall time and CPU time (pgrep's own, from its exit status)
// are both printed: on a busy machine the wall time is mostly waiting for a
// core. The query keeps the name files of the user's processes open from one
// call to the next, as in the program; the first call, which opens them, is
// printed on its own. Prints figures; asserts nothing.
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
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <string>
#include <vector>

#include "bench_processes.h"
#include "platform/linux/open_file_limit.h"
#include "platform/linux/process_query_linux.h"

extern char** environ;

namespace {

using bench::BecomeUser;
using bench::CountProcesses;
using bench::kNobody;
using bench::StartSleepers;
using bench::StopAll;

using Clock = std::chrono::steady_clock;
constexpr const char* kAbsentName = "BenchMail.exe";  // 13 bytes, like SendEmail.exe

double CpuMs() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double Ms(const timeval& t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; }

// Wall time of one pgrep from spawn to exit; its CPU time (user and system)
// into `cpu`.
double RunPgrep(double& cpu) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    std::string a0 = "pgrep", a1 = "-x", a2 = kAbsentName;
    char* argv[] = {a0.data(), a1.data(), a2.data(), nullptr};
    const auto start = Clock::now();
    pid_t pid = -1;
    cpu = 0;
    if (::posix_spawn(&pid, "/usr/bin/pgrep", &actions, nullptr, argv, environ) == 0) {
        rusage usage{};
        while (::wait4(pid, nullptr, 0, &usage) < 0 && errno == EINTR) {
        }
        cpu = Ms(usage.ru_utime) + Ms(usage.ru_stime);
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

// The measurements at one count of processes, in a process of its own that
// runs as `measurer`.
void Measure(int rounds, uid_t measurer, const char* sleepersLabel, std::size_t sleepers) {
    std::fflush(stdout);
    const pid_t pid = ::fork();
    if (pid < 0) return;
    if (pid > 0) {
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        return;
    }
    if (!BecomeUser(measurer)) {
        std::printf("cannot run as user %u\n", unsigned(measurer));
        std::fflush(stdout);
        ::_exit(1);
    }
    // The open-file limit the program gives itself, for the names it keeps.
    fhsw::RaiseOpenFileLimit(2 * fhsw::LinuxProcessQuery::kDefaultKeptFiles);
    fhsw::LinuxProcessQuery query;
    const int present = CountProcesses();
    std::vector<double> queries, pgreps, queryCpu, pgrepCpu;
    // The first query opens the name files that the later ones read again.
    const auto firstStart = Clock::now();
    bool found = query.isProcessRunning(kAbsentName);
    const double first = std::chrono::duration<double, std::milli>(Clock::now() - firstStart).count();
    for (int r = 0; r < rounds; ++r) {
        for (int q = 0; q < 5; ++q) {
            const double cpu = CpuMs();
            const auto start = Clock::now();
            found |= query.isProcessRunning(kAbsentName);
            queries.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
            queryCpu.push_back(CpuMs() - cpu);
        }
        double cpu = 0;
        pgreps.push_back(RunPgrep(cpu));
        pgrepCpu.push_back(cpu);
    }
    const Summary q = Summarize(queries), p = Summarize(pgreps);
    const Summary qc = Summarize(queryCpu), pc = Summarize(pgrepCpu);
    std::printf("%5d processes, %4zu sleepers of %s%s:\n"
                "      wall: query %.2f ms (%.2f-%.2f), pgrep %.1f ms (%.1f-%.1f): pgrep/query %.1fx\n"
                "      CPU:  query %.2f ms (%.2f-%.2f), pgrep %.1f ms (%.1f-%.1f): pgrep/query %.1fx\n"
                "      first query %.2f ms, keeping %zu name files open (at most %zu)\n",
                present, sleepers, sleepersLabel, found ? " (FOUND: someone runs the name)" : "", q.median, q.low,
                q.high, p.median, p.low, p.high, p.median / q.median, qc.median, qc.low, qc.high, pc.median, pc.low,
                pc.high, pc.median / qc.median, first, query.keptFiles(), query.keptFileLimit());
    std::fflush(stdout);
    ::_exit(0);
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 11;
    const std::vector<int> counts = bench::ParseCounts(argc, argv, "--rounds", rounds);
    // The program runs as an ordinary user: as root, the measuring process
    // becomes nobody, and the sleepers are either nobody's too or root's.
    const bool root = ::geteuid() == 0;
    const uid_t measurer = root ? kNobody : ::geteuid();
    std::vector<std::pair<uid_t, const char*>> owners = {{measurer, "the measuring user"}};
    if (root) owners.push_back({0, "another user (root)"});

    std::printf("query IsProcessRunning(\"%s\") against spawning pgrep -x %s, %d rounds of 5 queries and 1 pgrep,"
                " measured as user %u\n",
                kAbsentName, kAbsentName, rounds, unsigned(measurer));
    for (const int count : counts) {
        for (const auto& [owner, label] : owners) {
            const std::vector<pid_t> sleepers = StartSleepers(std::max(0, count - CountProcesses()), owner);
            ::usleep(200 * 1000);
            Measure(rounds, measurer, label, sleepers.size());
            StopAll(sleepers);
        }
    }
    return 0;
}
