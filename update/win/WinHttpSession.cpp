#include "update/win/WinHttpSession.h"

#include "common/win/WinText.h"

#include <windows.h>

#include <winhttp.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace tolbe::update {
namespace {

using Clock = std::chrono::steady_clock;

// As the libcurl session: the body buffer's high-water mark, the connect limit, the redirects.
constexpr std::size_t kBodyHighWater = 4 * 1024 * 1024;
constexpr int kConnectTimeout_ms = 15000;
constexpr DWORD kMaxRedirects = 5;
constexpr auto kWaitSlice = std::chrono::milliseconds(10);
constexpr DWORD kReadPiece = 64 * 1024;

struct InternetHandle {
    HINTERNET h = nullptr;
    ~InternetHandle() { Close(); }
    void Close() {
        if (h != nullptr) ::WinHttpCloseHandle(h);
        h = nullptr;
    }
};

} // namespace

struct WinHttpSession::Impl {
    InternetHandle session, connection;
    HINTERNET request = nullptr; // closed once, by the worker's end or by Abort, under `mutex`
    std::thread worker;
    std::atomic<bool> aborted{false};
    HttpLimits limits;
    std::function<void()> idle;
    bool opened = false;

    std::mutex mutex;
    std::condition_variable changed;
    Clock::time_point deadline;
    std::string headers;
    bool headers_done = false;
    std::string body;
    std::size_t body_pos = 0;
    bool finished = false;
    bool failed = false;

    ~Impl() {
        Stop();
        CloseRequest();
    }

    // Closing the request ends a WinHTTP call that waits on it in the worker at once.
    void CloseRequest() {
        std::lock_guard lock(mutex);
        if (request != nullptr) ::WinHttpCloseHandle(request);
        request = nullptr;
    }

    void Stop() {
        aborted = true;
        CloseRequest();
        changed.notify_all();
        if (worker.joinable()) worker.join();
    }

    std::size_t Available() const { return body.size() - body_pos; }

    void End(bool ok) {
        std::lock_guard lock(mutex);
        finished = true;
        failed = !ok || aborted;
        changed.notify_all();
    }

    // The final response's header block, the status line first, each line ended by one NUL.
    bool TakeHeaders(HINTERNET r) {
        DWORD size = 0;
        ::WinHttpQueryHeaders(r, WINHTTP_QUERY_RAW_HEADERS, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER,
                              &size, WINHTTP_NO_HEADER_INDEX);
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return false;
        std::wstring raw(size / sizeof(wchar_t), L'\0');
        if (!::WinHttpQueryHeaders(r, WINHTTP_QUERY_RAW_HEADERS, WINHTTP_HEADER_NAME_BY_INDEX, raw.data(), &size,
                                   WINHTTP_NO_HEADER_INDEX))
            return false;
        raw.resize(size / sizeof(wchar_t));
        // The list ends with an empty line (a second NUL), which the block does not carry.
        while (raw.size() >= 2 && raw[raw.size() - 1] == L'\0' && raw[raw.size() - 2] == L'\0')
            raw.pop_back();
        if (!raw.empty() && raw.back() != L'\0') raw.push_back(L'\0');
        std::uint64_t allowed = limits.max_body_bytes;
        wchar_t length[32];
        DWORD length_size = sizeof length;
        if (::WinHttpQueryHeaders(r, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, length, &length_size,
                                  WINHTTP_NO_HEADER_INDEX)) {
            const std::uint64_t announced = std::wcstoull(length, nullptr, 10);
            // Larger than we take at all: refused before a byte of it arrives.
            if (announced > allowed) return false;
            allowed = announced;
            const auto rate = std::max<std::uint64_t>(limits.min_bytes_per_s, 1);
            std::lock_guard lock(mutex);
            deadline += std::chrono::seconds(announced / rate);
        }
        std::lock_guard lock(mutex);
        cap = allowed;
        headers = win::Narrow(raw);
        headers_done = true;
        changed.notify_all();
        return true;
    }

    bool ReadBody(HINTERNET r) {
        std::string piece(kReadPiece, '\0');
        std::uint64_t received = 0;
        for (;;) {
            DWORD n = 0;
            if (aborted || !::WinHttpReadData(r, piece.data(), kReadPiece, &n)) return false;
            if (n == 0) return true;
            received += n;
            if (received > cap) return false; // more than announced or allowed
            std::unique_lock lock(mutex);
            // The reader is behind: wait for it, within the request's deadline.
            while (Available() >= kBodyHighWater && !aborted)
                if (changed.wait_until(lock, deadline) == std::cv_status::timeout) return false;
            if (aborted || Clock::now() >= deadline) return false;
            if (body_pos > 0 && body_pos >= body.size() / 2) {
                body.erase(0, body_pos);
                body_pos = 0;
            }
            body.append(piece.data(), n);
            changed.notify_all();
        }
    }

    void Run() {
        HINTERNET r = nullptr;
        {
            std::lock_guard lock(mutex);
            r = request;
        }
        const bool sent = r != nullptr &&
                          ::WinHttpSendRequest(r, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
                          ::WinHttpReceiveResponse(r, nullptr);
        End(sent && !aborted && TakeHeaders(r) && ReadBody(r));
    }

    // Waits until `ready` holds, the transfer ends or the session is aborted, calling the idle
    // hook between slices; a request past its deadline is ended here too. Returns with the lock
    // held.
    template <typename Pred> void WaitFor(std::unique_lock<std::mutex>& lock, Pred ready) {
        while (!ready() && !finished && !aborted) {
            if (changed.wait_for(lock, kWaitSlice, [&] { return ready() || finished || aborted.load(); })) break;
            if (Clock::now() >= deadline && request != nullptr) {
                ::WinHttpCloseHandle(request);
                request = nullptr;
            }
            if (idle) {
                lock.unlock();
                idle();
                lock.lock();
            }
        }
    }

    std::uint64_t cap = 0; // body bytes allowed for this response
};

WinHttpSession::WinHttpSession() : m_impl(std::make_unique<Impl>()) {}
WinHttpSession::~WinHttpSession() = default;

void WinHttpSession::SetLimits(const HttpLimits& limits) {
    m_impl->limits = limits;
}

void WinHttpSession::SetIdle(std::function<void()> idle) {
    m_impl->idle = std::move(idle);
}

void WinHttpSession::Abort() {
    m_impl->aborted = true;
    m_impl->CloseRequest();
    m_impl->changed.notify_all();
}

bool WinHttpSession::Open(const std::string& url, const std::string& user_agent) {
    Impl& s = *m_impl;
    if (s.opened || s.aborted) return false; // one request per session
    s.opened = true;
    const std::wstring wide = win::Widen(url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!::WinHttpCrackUrl(wide.c_str(), 0, 0, &parts)) return false;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
    path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (path.empty()) path = L"/";

    // A direct connection: the system's proxy settings are not used; WinHTTP keeps no cache.
    s.session.h = ::WinHttpOpen(win::Widen(user_agent).c_str(), WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                WINHTTP_NO_PROXY_BYPASS, 0);
    if (s.session.h == nullptr) return false;
    const int receive_ms = static_cast<int>(s.limits.deadline_floor.count());
    ::WinHttpSetTimeouts(s.session.h, kConnectTimeout_ms, kConnectTimeout_ms, receive_ms, receive_ms);
    // A secure request stays secure (no redirect from https to http), and redirects are few.
    DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
    ::WinHttpSetOption(s.session.h, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);
    DWORD redirects = kMaxRedirects;
    ::WinHttpSetOption(s.session.h, WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, &redirects, sizeof redirects);
    s.connection.h = ::WinHttpConnect(s.session.h, host.c_str(), parts.nPort, 0);
    if (s.connection.h == nullptr) return false;
    const HINTERNET r = ::WinHttpOpenRequest(s.connection.h, L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                             WINHTTP_DEFAULT_ACCEPT_TYPES,
                                             parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0);
    if (r == nullptr) return false;
    {
        std::lock_guard lock(s.mutex);
        s.request = r;
        s.deadline = Clock::now() + s.limits.deadline_floor;
    }
    s.worker = std::thread([&s] { s.Run(); });
    std::unique_lock lock(s.mutex);
    s.WaitFor(lock, [&] { return s.headers_done; });
    return s.headers_done && !s.aborted;
}

const std::string& WinHttpSession::RawHeaders() const {
    return m_impl->headers;
}

HttpSession::ReadResult WinHttpSession::Read(char* buffer, std::size_t size) {
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
    return std::make_unique<WinHttpSession>();
}

} // namespace tolbe::update
