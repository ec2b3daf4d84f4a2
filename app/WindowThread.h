#pragma once

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <atomic>
#include <chrono>
#include <exception>
#include <future>
#include <memory>
#include <stdexcept>
#include <type_traits>

namespace tolbe::app {

// Thrown on a worker whose window began to go away while the worker waited for it.
struct WindowGone : std::runtime_error {
    WindowGone() : std::runtime_error("the window has closed") {}
};

// Runs `work` on the thread of `owner` and returns its result, or rethrows what it threw: at once
// when called on that thread, otherwise from the owner's event loop while the caller waits. Once
// `gone` is set the wait ends with WindowGone, so a window being destroyed never waits for a
// worker that waits for it.
template <typename F> auto OnThreadOf(QObject* owner, F work, const std::atomic<bool>& gone) -> decltype(work()) {
    using R = decltype(work());
    if (QThread::currentThread() == owner->thread()) return work();
    auto done = std::make_shared<std::promise<R>>();
    std::future<R> result = done->get_future();
    QMetaObject::invokeMethod(
        owner,
        [done, work, &gone]() mutable {
            if (gone) return; // the caller no longer waits
            try {
                if constexpr (std::is_void_v<R>) {
                    work();
                    done->set_value();
                } else {
                    done->set_value(work());
                }
            } catch (...) {
                done->set_exception(std::current_exception());
            }
        },
        Qt::QueuedConnection);
    while (result.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready)
        if (gone) throw WindowGone();
    return result.get();
}

// Runs `work` on the thread of `owner` later, without waiting; at once when called there.
template <typename F> void PostToThreadOf(QObject* owner, F work) {
    if (QThread::currentThread() == owner->thread())
        work();
    else
        QMetaObject::invokeMethod(owner, std::move(work), Qt::QueuedConnection);
}

} // namespace tolbe::app
