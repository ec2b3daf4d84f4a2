#include "update/CurlHttpSession.h"

#include "common/AsciiText.h"
#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string_view>
#include <thread>

namespace tolbe::update {
namespace {

using Clock = std::chrono::steady_clock;

// Body bytes held before the worker waits for the reader; the reader takes 512 at a time.
constexpr std::size_t kBodyHighWater = 4 * 1024 * 1024;
// A response whose header lines grow beyond this is no answer we want.
constexpr std::size_t kMaxHeaderBytes = 64 * 1024;
constexpr long kConnectTimeout_s = 15;
constexpr long kMaxRedirects = 5;
// How long a waiting call sleeps before it calls the idle hook again, and how long the worker
// sleeps in the network poll; both are woken at once by data or by Abort.
constexpr auto kWaitSlice = std::chrono::milliseconds(10);
constexpr int kPollSlice_ms = 50;

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && EqualNoCase(s.substr(0, prefix.size()), prefix);
}

} // namespace

struct CurlHttpSession::Impl {
    CURLM* multi = nullptr;
    CURL* easy = nullptr;
    std::thread worker;
    std::atomic<bool> aborted{false};
    HttpLimits limits;
    std::function<void()> idle;

    // Worker thread only.
    std::string block;     // header lines of the response being received
    bool location = false; // that response names a redirect target
    bool final_seen = false;
    Clock::time_point deadline;
    std::uint64_t cap = 0; // body bytes allowed for this response
    std::uint64_t received = 0;

    // Shared, under `mutex`.
    std::mutex mutex;
    std::condition_variable changed;
    std::string headers; // header block of the final response
    bool headers_done = false;
    std::string body;
    std::size_t body_pos = 0;
    bool finished = false;
    bool failed = false;

    ~Impl() {
        Stop();
        if (multi != nullptr && easy != nullptr) curl_multi_remove_handle(multi, easy);
        if (easy != nullptr) curl_easy_cleanup(easy);
        if (multi != nullptr) curl_multi_cleanup(multi);
    }

    void Stop() {
        aborted = true;
        changed.notify_all();
        if (multi != nullptr) curl_multi_wakeup(multi);
        if (worker.joinable()) worker.join();
    }

    std::size_t Available() const { return body.size() - body_pos; }

    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
        auto* self = static_cast<Impl*>(user);
        std::string_view line(data, size * count);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.remove_suffix(1);
        if (StartsWithNoCase(line, "HTTP/")) {
            self->block.assign(line);
            self->block += '\0';
            self->location = false;
        } else if (line.empty()) {
            long code = 0;
            curl_easy_getinfo(self->easy, CURLINFO_RESPONSE_CODE, &code);
            const bool interim = code >= 100 && code < 200;
            const bool followed = code >= 300 && code < 400 && self->location;
            // Only the first final block counts; trailers of a chunked body do not replace it.
            if (!interim && !followed && !self->final_seen) {
                self->final_seen = true;
                curl_off_t announced = -1;
                curl_easy_getinfo(self->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
                self->cap = self->limits.max_body_bytes;
                if (announced >= 0) {
                    // Larger than we take at all: refuse before a byte of it arrives.
                    if (static_cast<std::uint64_t>(announced) > self->cap) return 0;
                    self->cap = static_cast<std::uint64_t>(announced);
                    const auto rate = std::max<std::uint64_t>(self->limits.min_bytes_per_s, 1);
                    self->deadline += std::chrono::seconds(static_cast<std::uint64_t>(announced) / rate);
                }
                std::lock_guard lock(self->mutex);
                self->headers = self->block;
                self->headers_done = true;
                self->changed.notify_all();
            }
        } else {
            if (self->block.size() + line.size() > kMaxHeaderBytes) return 0;
            self->block.append(line);
            self->block += '\0';
            if (StartsWithNoCase(line, "Location:")) self->location = true;
        }
        return size * count;
    }

    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
        auto* self = static_cast<Impl*>(user);
        const std::size_t n = size * count;
        self->received += n;
        if (self->received > self->cap) return 0; // more than announced or allowed
        std::unique_lock lock(self->mutex);
        // The reader is behind: wait for it rather than pausing the transfer, so nothing ever
        // waits on a paused connection.
        while (self->Available() >= kBodyHighWater && !self->aborted)
            if (self->changed.wait_until(lock, self->deadline) == std::cv_status::timeout) return 0;
        if (self->aborted) return 0;
        if (self->body_pos > 0 && self->body_pos >= self->body.size() / 2) {
            self->body.erase(0, self->body_pos);
            self->body_pos = 0;
        }
        self->body.append(data, n);
        self->changed.notify_all();
        return n;
    }

    void Run() {
        bool ok = false;
        for (;;) {
            int running = 0;
            curl_multi_perform(multi, &running);
            int left = 0;
            bool done = false;
            while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
                if (msg->msg == CURLMSG_DONE) {
                    done = true;
                    ok = msg->data.result == CURLE_OK;
                }
            }
            if (done || running == 0 || aborted || Clock::now() >= deadline) break;
            curl_multi_poll(multi, nullptr, 0, kPollSlice_ms, nullptr);
        }
        std::lock_guard lock(mutex);
        finished = true;
        failed = !ok || aborted;
        changed.notify_all();
    }

    // Waits until `ready` holds, the transfer ends or the session is aborted, calling the idle
    // hook between slices. Returns with the lock held.
    template <typename Pred> void WaitFor(std::unique_lock<std::mutex>& lock, Pred ready) {
        while (!ready() && !finished && !aborted) {
            if (changed.wait_for(lock, kWaitSlice, [&] { return ready() || finished || aborted.load(); })) break;
            if (idle) {
                lock.unlock();
                idle();
                lock.lock();
            }
        }
    }
};

CurlHttpSession::CurlHttpSession() : m_impl(std::make_unique<Impl>()) {}
CurlHttpSession::~CurlHttpSession() = default;

void CurlHttpSession::SetLimits(const HttpLimits& limits) {
    m_impl->limits = limits;
}

void CurlHttpSession::SetIdle(std::function<void()> idle) {
    m_impl->idle = std::move(idle);
}

void CurlHttpSession::Abort() {
    m_impl->aborted = true;
    m_impl->changed.notify_all();
    if (m_impl->multi != nullptr) curl_multi_wakeup(m_impl->multi);
}

bool CurlHttpSession::Open(const std::string& url, const std::string& user_agent) {
    GlobalInit();
    Impl& s = *m_impl;
    const HttpLimits& limits = s.limits;
    if (s.multi != nullptr) return false; // one request per session
    s.multi = curl_multi_init();
    s.easy = curl_easy_init();
    if (s.multi == nullptr || s.easy == nullptr || s.aborted) return false;

    CURL* e = s.easy;
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_USERAGENT, user_agent.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    // A secure request stays secure: an https address may only redirect to https.
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, StartsWithNoCase(url, "https:") ? "https" : "http,https");
    // HTTP/2 would send every header name in lower case and no reason phrase, and the header
    // answers look for "Content-Length" and "404 Not Found" as written.
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, kMaxRedirects);
    // A direct connection: proxy settings of the environment are not used.
    curl_easy_setopt(e, CURLOPT_PROXY, "");
    // libcurl keeps no cache, so every request reaches the server; a fresh connection each time.
    curl_easy_setopt(e, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(e, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, kConnectTimeout_s);
    curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.max_body_bytes));
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Impl::OnHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &s);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Impl::OnBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &s);
    if (curl_multi_add_handle(s.multi, e) != CURLM_OK) return false;

    s.deadline = Clock::now() + limits.deadline_floor;
    s.cap = limits.max_body_bytes;
    s.worker = std::thread([&s] { s.Run(); });
    std::unique_lock lock(s.mutex);
    s.WaitFor(lock, [&] { return s.headers_done; });
    return s.headers_done && !s.aborted;
}

const std::string& CurlHttpSession::RawHeaders() const {
    return m_impl->headers;
}

HttpSession::ReadResult CurlHttpSession::Read(char* buffer, std::size_t size) {
    Impl& s = *m_impl;
    std::unique_lock lock(s.mutex);
    if (!s.headers_done || s.aborted) return {0, false};
    s.WaitFor(lock, [&] { return s.Available() >= size; });
    if (s.aborted) return {0, false};
    const std::size_t n = std::min(size, s.Available());
    if (n > 0) std::memcpy(buffer, s.body.data() + s.body_pos, n);
    s.body_pos += n;
    s.changed.notify_all(); // the worker may wait for room
    // Bytes that arrived before a failure are handed out first; the failure shows on the next read.
    if (n == 0 && s.finished && s.failed) return {0, false};
    return {n, true};
}

std::unique_ptr<HttpSession> MakeSystemHttpSession() {
    return std::make_unique<CurlHttpSession>();
}

} // namespace tolbe::update
