#include "update/win/WinHttpSession.h"

#include "common/win/WinText.h"
#include "update/BodyPipe.h"

#include <windows.h>

#include <winhttp.h>

#include <cwchar>
#include <mutex>
#include <optional>
#include <thread>

namespace tolbe::update {
namespace {

// As the libcurl session: the connect limit, the redirects.
constexpr int kConnectTimeout_ms = 15000;
constexpr DWORD kMaxRedirects = 5;
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
    // Closed once, by the worker's end, the deadline or Abort, under `requestMutex`.
    HINTERNET request = nullptr;
    std::mutex requestMutex;
    std::thread worker;
    BodyPipe pipe;
    HttpLimits limits;
    std::function<void()> idle;
    bool opened = false;

    ~Impl() {
        Stop();
        CloseRequest();
    }

    // Closing the request ends a WinHTTP call that waits on it in the worker at once.
    void CloseRequest() {
        std::lock_guard lock(requestMutex);
        if (request != nullptr) ::WinHttpCloseHandle(request);
        request = nullptr;
    }

    void Stop() {
        pipe.Abort();
        CloseRequest();
        if (worker.joinable()) worker.join();
    }

    // A request past its deadline is ended from the waiting reader; WinHTTP's own timeouts only
    // bound each wait, not the whole transfer.
    void CloseIfLate() {
        if (pipe.PastDeadline()) CloseRequest();
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
        std::optional<std::uint64_t> announced;
        wchar_t length[32];
        DWORD length_size = sizeof length;
        if (::WinHttpQueryHeaders(r, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, length, &length_size,
                                  WINHTTP_NO_HEADER_INDEX))
            announced = std::wcstoull(length, nullptr, 10);
        // WinHTTP widened the header bytes through the ANSI code page: narrowed back through it,
        // the block holds the bytes as sent, as libcurl hands them over, not their UTF-8.
        const int n =
            ::WideCharToMultiByte(CP_ACP, 0, raw.data(), static_cast<int>(raw.size()), nullptr, 0, nullptr, nullptr);
        std::string block(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
        if (n > 0)
            ::WideCharToMultiByte(CP_ACP, 0, raw.data(), static_cast<int>(raw.size()), block.data(), n, nullptr,
                                  nullptr);
        return pipe.TakeHeaders(block, announced);
    }

    bool ReadBody(HINTERNET r) {
        std::string piece(kReadPiece, '\0');
        for (;;) {
            DWORD n = 0;
            if (pipe.Aborted() || !::WinHttpReadData(r, piece.data(), kReadPiece, &n)) return false;
            if (n == 0) return true;
            if (!pipe.Push(piece.data(), n)) return false;
        }
    }

    void Run() {
        HINTERNET r = nullptr;
        {
            std::lock_guard lock(requestMutex);
            r = request;
        }
        const bool sent = r != nullptr &&
                          ::WinHttpSendRequest(r, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
                          ::WinHttpReceiveResponse(r, nullptr);
        pipe.End(sent && !pipe.Aborted() && TakeHeaders(r) && ReadBody(r));
    }
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
    m_impl->pipe.Abort();
    m_impl->CloseRequest();
}

bool WinHttpSession::Open(const std::string& url, const std::string& user_agent) {
    Impl& s = *m_impl;
    if (s.opened || s.pipe.Aborted()) return false; // one request per session
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
        std::lock_guard lock(s.requestMutex);
        s.request = r;
    }
    s.pipe.Start(s.limits);
    s.worker = std::thread([&s] { s.Run(); });
    return s.pipe.WaitForHeaders(s.idle, [&s] { s.CloseIfLate(); });
}

const std::string& WinHttpSession::RawHeaders() const {
    return m_impl->pipe.Headers();
}

HttpSession::ReadResult WinHttpSession::Read(char* buffer, std::size_t size) {
    Impl& s = *m_impl;
    return s.pipe.Read(buffer, size, s.idle, [&s] { s.CloseIfLate(); });
}

std::unique_ptr<HttpSession> MakeSystemHttpSession() {
    return std::make_unique<WinHttpSession>();
}

} // namespace tolbe::update
