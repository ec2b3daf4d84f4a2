#include "update/BodyPipe.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tolbe::update {
namespace {

// Body bytes held before the worker waits for the reader; the reader takes 512 at a time.
constexpr std::size_t kBodyHighWater = 4 * 1024 * 1024;
// How long a waiting reader sleeps before it calls the idle hook again; data, the end and
// Abort wake it at once.
constexpr auto kWaitSlice = std::chrono::milliseconds(10);

} // namespace

void BodyPipe::Start(const HttpLimits& limits) {
    m_limits = limits;
    m_cap = limits.max_body_bytes;
    std::lock_guard lock(m_mutex);
    m_deadline = Clock::now() + limits.deadline_floor;
}

bool BodyPipe::TakeHeaders(std::string block, std::optional<std::uint64_t> announced) {
    m_cap = m_limits.max_body_bytes;
    std::lock_guard lock(m_mutex);
    if (announced) {
        if (*announced > m_cap) return false;
        m_cap = *announced;
        const auto rate = std::max<std::uint64_t>(m_limits.min_bytes_per_s, 1);
        m_deadline += std::chrono::seconds(*announced / rate);
    }
    m_headers = std::move(block);
    m_headersDone = true;
    m_changed.notify_all();
    return true;
}

bool BodyPipe::Push(const char* data, std::size_t n) {
    m_received += n;
    if (m_received > m_cap) return false;
    std::unique_lock lock(m_mutex);
    while (Available() >= kBodyHighWater && !m_aborted)
        if (m_changed.wait_until(lock, m_deadline) == std::cv_status::timeout) return false;
    if (m_aborted || Clock::now() >= m_deadline) return false;
    if (m_bodyPos > 0 && m_bodyPos >= m_body.size() / 2) {
        m_body.erase(0, m_bodyPos);
        m_bodyPos = 0;
    }
    m_body.append(data, n);
    m_changed.notify_all();
    return true;
}

void BodyPipe::End(bool ok) {
    std::lock_guard lock(m_mutex);
    m_finished = true;
    m_failed = !ok || m_aborted;
    m_changed.notify_all();
}

void BodyPipe::Abort() {
    m_aborted = true;
    std::lock_guard lock(m_mutex);
    m_changed.notify_all();
}

bool BodyPipe::PastDeadline() const {
    std::lock_guard lock(m_mutex);
    return Clock::now() >= m_deadline;
}

template <typename Pred>
void BodyPipe::WaitFor(std::unique_lock<std::mutex>& lock, Pred ready, const std::function<void()>& idle,
                       const std::function<void()>& slice) {
    while (!ready() && !m_finished && !m_aborted) {
        if (m_changed.wait_for(lock, kWaitSlice, [&] { return ready() || m_finished || m_aborted.load(); })) break;
        lock.unlock();
        if (slice) slice();
        if (idle) idle();
        lock.lock();
    }
}

bool BodyPipe::WaitForHeaders(const std::function<void()>& idle, const std::function<void()>& slice) {
    std::unique_lock lock(m_mutex);
    WaitFor(
        lock, [&] { return m_headersDone; }, idle, slice);
    return m_headersDone && !m_aborted;
}

HttpSession::ReadResult BodyPipe::Read(char* buffer, std::size_t size, const std::function<void()>& idle,
                                       const std::function<void()>& slice) {
    std::unique_lock lock(m_mutex);
    if (!m_headersDone || m_aborted) return {0, false};
    WaitFor(
        lock, [&] { return Available() >= size; }, idle, slice);
    if (m_aborted) return {0, false};
    const std::size_t n = std::min(size, Available());
    if (n > 0) std::memcpy(buffer, m_body.data() + m_bodyPos, n);
    m_bodyPos += n;
    m_changed.notify_all(); // the worker may wait for room
    // Bytes that arrived before a failure are handed out first; the failure shows on the next read.
    if (n == 0 && m_finished && m_failed) return {0, false};
    return {n, true};
}

} // namespace tolbe::update
