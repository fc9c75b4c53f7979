// Whether the watch of a send ever holds up the window's thread, on a machine
// with many processes: the main window's own logic, driven by a real-time
// event loop that times every task it runs on the window's thread, starts a
// send (a stand-in launcher whose runner script runs on) and watches it with
// the real process query for a while. Prints, for each count of processes,
// the longest task on the window's thread (and its 99th percentile and
// median), the CPU time the program spent per second of watching (all its
// threads: the window's and the queries'), and how many queries answered. The
// processes are sleepers of the measuring user (run as root, the whole
// benchmark runs as nobody), so that every one is looked at closely. Prints
// figures; asserts nothing.
//
//   watch_tick_bench [--seconds S] [COUNT...]      (default: 5 s, 1000 5000)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <vector>

#include "bench_processes.h"
#include "forms/main_window.h"
#include "platform/linux/process_query_linux.h"
#include "support/test_app.h"

namespace {

using Clock = std::chrono::steady_clock;
double MsSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }
double ProcessCpuMs() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// A real-time event loop on the calling thread that times each task it runs.
class TimingScheduler final : public fhsw::Scheduler {
public:
    TaskId callAfter(int delayMs, std::function<void()> task) override {
        std::lock_guard<std::mutex> lock(mutex_);
        const TaskId id = ++lastId_;
        tasks_.emplace(Key{Clock::now() + std::chrono::milliseconds(std::max(0, delayMs)), id}, std::move(task));
        wake_.notify_all();
        return id;
    }
    void cancel(TaskId id) override {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = tasks_.begin(); it != tasks_.end(); ++it) {
            if (it->first.second == id) {
                tasks_.erase(it);
                return;
            }
        }
    }
    void post(std::function<void()> task) override {
        std::lock_guard<std::mutex> lock(mutex_);
        posted_.push_back(std::move(task));
        wake_.notify_all();
    }
    // Runs tasks as they fall due for `ms` milliseconds.
    void runFor(int ms) {
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        std::unique_lock<std::mutex> lock(mutex_);
        while (Clock::now() < end) {
            std::function<void()> task;
            if (!posted_.empty()) {
                task = std::move(posted_.front());
                posted_.erase(posted_.begin());
            } else if (!tasks_.empty() && tasks_.begin()->first.first <= Clock::now()) {
                task = std::move(tasks_.begin()->second);
                tasks_.erase(tasks_.begin());
            } else {
                const auto until = tasks_.empty() ? end : std::min(end, tasks_.begin()->first.first);
                wake_.wait_until(lock, until);
                continue;
            }
            lock.unlock();
            const auto start = Clock::now();
            task();
            durations.push_back(MsSince(start));
            lock.lock();
        }
    }
    std::vector<double> durations;

private:
    using Key = std::pair<Clock::time_point, TaskId>;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::map<Key, std::function<void()>> tasks_;
    std::vector<std::function<void()>> posted_;
    TaskId lastId_ = 0;
};

// The real query, counted and timed on whichever thread asks.
class TimedQuery final : public fhsw::ProcessQuery {
public:
    bool isProcessRunning(const std::string& name) override {
        const auto start = Clock::now();
        const bool running = real.isProcessRunning(name);
        std::lock_guard<std::mutex> lock(mutex);
        times.push_back(MsSince(start));
        return running;
    }
    fhsw::LinuxProcessQuery real;
    std::mutex mutex;
    std::vector<double> times;
};

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * double(v.size() - 1) + 0.5))];
}

// The countdown (10 s), then `seconds` of watching.
void Measure(int seconds) {
    TimingScheduler sched;
    fhsw::test::ScriptedHost host;
    fhsw::UiContext ui{sched, host};
    fhsw::MemorySettingsBackend backend;
    fhsw::FixedExecutableName exe("BENCH");
    fhsw::SettingsStore store{backend, exe};
    fhsw::test::FakeLauncher launcher;  // its runner script runs until the end
    TimedQuery query;
    fhsw::test::FakeZOrder zorder;
    fhsw::test::FakeFiles files;
    fhsw::AppContext ctx{ui, store, launcher, query, zorder, files, fhsw::RunFileNames::Native()};
    const std::string profile = exe.baseName();
    backend.values[{profile, "P4P_TICKBOX"}] = std::string("1");
    backend.values[{profile, "SE_RUNNER_BAT_LOCATION_TEXTBOX"}] = std::string("/nowhere/SENDEMAIL-RUNNER.BAT");

    const int processes = bench::CountProcesses();
    {
        fhsw::MainWindow window(ctx);
        window.show();
        window.START_STOP_BUTTON.press();
        sched.runFor(10000);  // the countdown
        const double cpuStart = ProcessCpuMs();
        sched.runFor(seconds * 1000);
        const double cpuPerSecond = (ProcessCpuMs() - cpuStart) / seconds;
        std::lock_guard<std::mutex> lock(query.mutex);
        std::printf("%5d processes, %zu send started, %d s watched: %zu tasks on the window's thread, longest %.2f ms, "
                    "99th percentile %.2f ms, median %.3f ms\n"
                    "      CPU while watching: %.1f ms per second (%.1f%% of a core); %zu queries, median %.2f ms\n",
                    processes, launcher.launches.size(), seconds, sched.durations.size(),
                    Percentile(sched.durations, 1), Percentile(sched.durations, 0.99),
                    Percentile(sched.durations, 0.5), cpuPerSecond, cpuPerSecond / 10, query.times.size(),
                    Percentile(query.times, 0.5));
        std::fflush(stdout);
    }
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 5;
    const std::vector<int> counts = bench::ParseCounts(argc, argv, "--seconds", seconds);
    // As the program runs: an ordinary user.
    if (::geteuid() == 0 && !bench::BecomeUser(bench::kNobody)) {
        std::perror("cannot run as nobody");
        return 1;
    }
    std::printf("the watch of one send, as user %u: the countdown, then polling every 250 ms\n", unsigned(::geteuid()));
    for (const int count : counts) {
        const std::vector<pid_t> sleepers =
            bench::StartSleepers(std::max(0, count - bench::CountProcesses()), ::geteuid());
        ::usleep(200 * 1000);
        Measure(seconds);
        bench::StopAll(sleepers);
    }
    return 0;
}
