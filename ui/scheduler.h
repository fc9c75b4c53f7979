// Timers of every window run on an injected scheduler: the real program uses
// the toolkit's event loop, tests use VirtualScheduler and move time by hand.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace fhsw {

class Scheduler {
public:
    using TaskId = std::uint64_t;
    virtual ~Scheduler() = default;
    // Runs `task` once, `delayMs` milliseconds from now, on the UI thread.
    virtual TaskId callAfter(int delayMs, std::function<void()> task) = 0;
    // Forgets a task that has not run yet; unknown ids are ignored.
    virtual void cancel(TaskId id) = 0;
    // Hands `task` to the UI thread from any thread: it runs there soon, after
    // the events already waiting. The only call that may come from another
    // thread (work done off the UI thread hands its answer back this way).
    virtual void post(std::function<void()> task) = 0;
};

// Deterministic scheduler for tests: nothing runs until advance() is called.
// Tasks run in order of due time, then of scheduling; a task scheduled by a
// running task for a time inside the advanced span runs in the same advance.
class VirtualScheduler final : public Scheduler {
public:
    TaskId callAfter(int delayMs, std::function<void()> task) override {
        const TaskId id = ++lastId_;
        tasks_.emplace(Key{now_ + (delayMs < 0 ? 0 : delayMs), id}, std::move(task));
        return id;
    }

    void cancel(TaskId id) override {
        for (auto it = tasks_.begin(); it != tasks_.end(); ++it) {
            if (it->first.second == id) {
                tasks_.erase(it);
                return;
            }
        }
    }

    // Posted tasks wait until the next advance(), which runs them first, at
    // the current virtual time.
    void post(std::function<void()> task) override {
        std::lock_guard<std::mutex> lock(postedMutex_);
        posted_.push_back(std::move(task));
    }

    // Runs the tasks posted so far (and those they post), without moving time.
    void runPosted() {
        while (true) {
            std::vector<std::function<void()>> batch;
            {
                std::lock_guard<std::mutex> lock(postedMutex_);
                batch.swap(posted_);
            }
            if (batch.empty()) return;
            for (auto& task : batch) task();
        }
    }

    // Moves virtual time forward by `ms`, running every task that falls due.
    void advance(long long ms) {
        runPosted();
        const long long end = now_ + ms;
        while (!tasks_.empty() && tasks_.begin()->first.first <= end) {
            auto it = tasks_.begin();
            now_ = it->first.first;
            auto task = std::move(it->second);
            tasks_.erase(it);
            task();
        }
        now_ = end;
    }

    long long now() const { return now_; }
    std::size_t pending() const { return tasks_.size(); }

private:
    using Key = std::pair<long long, TaskId>;
    std::map<Key, std::function<void()>> tasks_;
    std::mutex postedMutex_;
    std::vector<std::function<void()>> posted_;
    long long now_ = 0;
    TaskId lastId_ = 0;
};

}  // namespace fhsw
