#pragma once

#include "update/HttpSession.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace tolbe::update {

// One response on its way from the network worker that receives it to the reader (the
// HttpSession's caller): the final header block, the body bytes the reader has not taken yet,
// the end, and the request's deadline. The libcurl and the WinHTTP sessions share it, so both
// keep the same limits and the same waiting.
class BodyPipe {
public:
    using Clock = std::chrono::steady_clock;

    // Before the worker starts: the deadline is the limits' floor from now, and at most
    // `limits.max_body_bytes` are taken.
    void Start(const HttpLimits& limits);

    // Worker: the final response's header block; `announced` is its Content-Length, when it has
    // one. An announced length beyond the limit is refused (false) before a byte of it arrives;
    // otherwise it caps the body and lengthens the deadline by its time at the slowest rate.
    bool TakeHeaders(std::string block, std::optional<std::uint64_t> announced);
    // Worker: body bytes. Waits while the reader is behind, rather than pausing the transfer, so
    // that nothing ever waits on a paused connection. False ends the transfer: more bytes than
    // announced or allowed, the deadline passed, or the session aborted.
    bool Push(const char* data, std::size_t n);
    // Worker: the transfer is over, complete or not.
    void End(bool ok);

    // Any thread: Open or Read return failure at once, now and later.
    void Abort();
    bool Aborted() const { return m_aborted; }
    bool PastDeadline() const;

    // Reader: waits for the header block (true) or the transfer's end (false). `idle` is called
    // between waits of a few milliseconds, `slice` too (a backend's own check), both unlocked.
    bool WaitForHeaders(const std::function<void()>& idle, const std::function<void()>& slice = {});
    const std::string& Headers() const { return m_headers; }
    // Reader: as HttpSession::Read.
    HttpSession::ReadResult Read(char* buffer, std::size_t size, const std::function<void()>& idle,
                                 const std::function<void()>& slice = {});

private:
    template <typename Pred>
    void WaitFor(std::unique_lock<std::mutex>& lock, Pred ready, const std::function<void()>& idle,
                 const std::function<void()>& slice);
    std::size_t Available() const { return m_body.size() - m_bodyPos; }

    std::atomic<bool> m_aborted{false};
    HttpLimits m_limits;
    // Worker only.
    std::uint64_t m_cap = 0; // body bytes allowed for this response
    std::uint64_t m_received = 0;
    // Shared, under m_mutex.
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    Clock::time_point m_deadline;
    std::string m_headers;
    bool m_headersDone = false;
    std::string m_body;
    std::size_t m_bodyPos = 0;
    bool m_finished = false;
    bool m_failed = false;
};

} // namespace tolbe::update
