#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThread>

#include <memory>
#include <thread>
#include <type_traits>
#include <utility>

namespace tolbe::app {

// Runs `work` on the thread of `owner` later, without waiting; at once when called there.
template <typename F> void PostToThreadOf(QObject* owner, F work) {
    if (QThread::currentThread() == owner->thread())
        work();
    else
        QMetaObject::invokeMethod(owner, std::move(work), Qt::QueuedConnection);
}

// A worker of a window's own that runs tasks one at a time: each task returns a value and touches
// no widget; its callback then runs on the window's thread with that value, and is dropped when
// the window has gone by then. Nothing ever waits for the window: a task that needs an answer
// ends, and the callback asks and starts the next task. The destructor joins the worker, so the
// owner stops the running task first (its stop token) and the join is short.
class TaskThread {
public:
    TaskThread() = default;
    ~TaskThread() { Join(); }
    TaskThread(const TaskThread&) = delete;
    TaskThread& operator=(const TaskThread&) = delete;

    // Starts `task()` on the worker (after the previous one has ended) and posts `then(result)`
    // to `context`'s thread. `task` must not throw.
    template <typename Task, typename Then> void RunThenCallback(QObject* context, Task task, Then then) {
        Join();
        m_thread = std::thread(
            [context = QPointer<QObject>(context), task = std::move(task), then = std::move(then)]() mutable {
                using R = std::invoke_result_t<Task&>;
                auto result = std::make_shared<R>(task());
                // Queued to the context: Qt drops the call when the context is deleted first, and the
                // owner joins this thread before its own QObject part goes, so the post never races it.
                QMetaObject::invokeMethod(
                    context.data(), [then = std::move(then), result]() mutable { then(std::move(*result)); },
                    Qt::QueuedConnection);
            });
    }
    // True while a task runs or its callback is still to come.
    bool Busy() const { return m_thread.joinable(); }
    void Join() {
        if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
    }

private:
    std::thread m_thread;
};

} // namespace tolbe::app
