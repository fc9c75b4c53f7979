// Runs the windows' timer tasks on the Qt event loop of the UI thread.
#pragma once

#include <map>
#include <memory>

#include "ui/scheduler.h"

class QObject;
class QTimer;

namespace fhsw {

// Each task is a single-shot precise QTimer. Tasks due at the same time run in
// the order they were scheduled. cancel() forgets a pending task; an id that
// already ran, was cancelled or never existed is ignored.
class QtScheduler final : public Scheduler {
public:
    QtScheduler();
    ~QtScheduler() override;
    QtScheduler(const QtScheduler&) = delete;
    QtScheduler& operator=(const QtScheduler&) = delete;

    TaskId callAfter(int delayMs, std::function<void()> task) override;
    void cancel(TaskId id) override;
    void post(std::function<void()> task) override;

    // Tasks scheduled and not yet run or cancelled.
    std::size_t pending() const { return timers_.size(); }

private:
    bool take(TaskId id);  // false: no longer pending

    std::unique_ptr<QObject> owner_;  // parent of the timers
    std::map<TaskId, QTimer*> timers_;
    TaskId lastId_ = 0;
};

}  // namespace fhsw
