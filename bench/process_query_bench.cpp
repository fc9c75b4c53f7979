// What one process-list query costs on a machine with many processes, and
// what the watch's four queries a second cost: starts sleeping processes
// until /proc holds about COUNT (for each COUNT given), then times queries
// and prints medians and ranges of wall and CPU time. The measuring process
// runs as an ordinary user (run as root, it becomes nobody), as the program
// does; run as root, the benchmark does it twice: with the sleepers running
// as that same user (every one is read), and as another user (root), the
// usual case on a server, where the query passes them over after one look.
// The name asked for is one that nothing runs, so that the query looks at
// every process. Prints figures; asserts nothing.
//
//   process_query_bench [--rounds N] [COUNT...]      (default: 55 queries, 1000 5000)
//
// The sleepers are children of this program: each ends when the program ends
// (and after five minutes at most), and all are killed and reaped by their ids.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

#include "bench_processes.h"
#include "platform/linux/process_query_linux.h"

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
    fhsw::LinuxProcessQuery query;
    const int present = CountProcesses();
    std::vector<double> wall, cpu;
    bool found = false;
    for (int r = 0; r < rounds; ++r) {
        const double cpuStart = CpuMs();
        const auto start = Clock::now();
        found |= query.isProcessRunning(kAbsentName);
        wall.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        cpu.push_back(CpuMs() - cpuStart);
    }
    const Summary w = Summarize(wall), c = Summarize(cpu);
    std::printf("%5d processes, %4zu sleepers of %s%s:\n"
                "      one query: wall %.2f ms (%.2f-%.2f), CPU %.2f ms (%.2f-%.2f); "
                "4 a second: %.1f ms of CPU per second (%.1f%% of a core)\n",
                present, sleepers, sleepersLabel, found ? " (FOUND: someone runs the name)" : "", w.median,
                w.low, w.high, c.median, c.low, c.high, 4 * c.median, 0.4 * c.median);
    std::fflush(stdout);
    ::_exit(0);
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 55;
    const std::vector<int> counts = bench::ParseCounts(argc, argv, "--rounds", rounds);
    // The program runs as an ordinary user: as root, the measuring process
    // becomes nobody, and the sleepers are either nobody's too or root's.
    const bool root = ::geteuid() == 0;
    const uid_t measurer = root ? kNobody : ::geteuid();
    std::vector<std::pair<uid_t, const char*>> owners = {{measurer, "the measuring user"}};
    if (root) owners.push_back({0, "another user (root)"});

    std::printf("query IsProcessRunning(\"%s\"), %d queries, measured as user %u\n", kAbsentName, rounds,
                unsigned(measurer));
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
