#include "view/qt/qt_scheduler.h"

#include <QMetaObject>
#include <QObject>
#include <QTimer>

namespace fhsw {

QtScheduler::QtScheduler() : owner_(std::make_unique<QObject>()) {}

QtScheduler::~QtScheduler() {
    timers_.clear();
    owner_.reset();  // deletes the pending timers
}

Scheduler::TaskId QtScheduler::callAfter(int delayMs, std::function<void()> task) {
    const TaskId id = ++lastId_;
    auto* timer = new QTimer(owner_.get());
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(delayMs < 0 ? 0 : delayMs);
    QObject::connect(timer, &QTimer::timeout, timer,
                     [this, id, task = std::move(task)]() mutable {
                         // Take the task out first: the timer goes away and the
                         // task may schedule or cancel others (itself included).
                         if (!take(id)) return;  // cancelled meanwhile
                         auto run = std::move(task);
                         if (run) run();
                     });
    timers_.emplace(id, timer);
    timer->start();
    return id;
}

bool QtScheduler::take(TaskId id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return false;
    it->second->deleteLater();  // it is emitting right now
    timers_.erase(it);
    return true;
}

void QtScheduler::cancel(TaskId id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    QTimer* timer = it->second;
    timers_.erase(it);
    timer->stop();
    timer->deleteLater();  // may be the sender of the running slot
}

void QtScheduler::post(std::function<void()> task) {
    // A queued call to an object of the UI thread runs on that thread's loop.
    QMetaObject::invokeMethod(owner_.get(), [task = std::move(task)] { task(); },
                              Qt::QueuedConnection);
}

}  // namespace fhsw
