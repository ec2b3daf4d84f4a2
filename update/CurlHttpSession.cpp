#include "update/CurlHttpSession.h"

#include "common/AsciiText.h"
#include "update/BodyPipe.h"

#include <curl/curl.h>

#include <mutex>
#include <optional>
#include <string_view>
#include <thread>

namespace tolbe::update {
namespace {

// A response whose header lines grow beyond this is no answer we want.
constexpr std::size_t kMaxHeaderBytes = 64 * 1024;
constexpr long kConnectTimeout_s = 15;
constexpr long kMaxRedirects = 5;
// How long the worker sleeps in the network poll; data or Abort wake it at once.
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
    BodyPipe pipe;
    HttpLimits limits;
    std::function<void()> idle;

    // Worker thread only.
    std::string block;     // header lines of the response being received
    bool location = false; // that response names a redirect target
    bool final_seen = false;

    ~Impl() {
        Stop();
        if (multi != nullptr && easy != nullptr) curl_multi_remove_handle(multi, easy);
        if (easy != nullptr) curl_easy_cleanup(easy);
        if (multi != nullptr) curl_multi_cleanup(multi);
    }

    void Stop() {
        pipe.Abort();
        if (multi != nullptr) curl_multi_wakeup(multi);
        if (worker.joinable()) worker.join();
    }

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
                if (!self->pipe.TakeHeaders(self->block,
                                            announced >= 0 ? std::optional<std::uint64_t>(announced) : std::nullopt))
                    return 0;
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
        const std::size_t n = size * count;
        return static_cast<Impl*>(user)->pipe.Push(data, n) ? n : 0;
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
            if (done || running == 0 || pipe.Aborted() || pipe.PastDeadline()) break;
            curl_multi_poll(multi, nullptr, 0, kPollSlice_ms, nullptr);
        }
        pipe.End(ok);
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
    m_impl->pipe.Abort();
    if (m_impl->multi != nullptr) curl_multi_wakeup(m_impl->multi);
}

bool CurlHttpSession::Open(const std::string& url, const std::string& user_agent) {
    GlobalInit();
    Impl& s = *m_impl;
    const HttpLimits& limits = s.limits;
    if (s.multi != nullptr) return false; // one request per session
    s.multi = curl_multi_init();
    s.easy = curl_easy_init();
    if (s.multi == nullptr || s.easy == nullptr || s.pipe.Aborted()) return false;

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

    s.pipe.Start(limits);
    s.worker = std::thread([&s] { s.Run(); });
    return s.pipe.WaitForHeaders(s.idle);
}

const std::string& CurlHttpSession::RawHeaders() const {
    return m_impl->pipe.Headers();
}

HttpSession::ReadResult CurlHttpSession::Read(char* buffer, std::size_t size) {
    return m_impl->pipe.Read(buffer, size, m_impl->idle);
}

std::unique_ptr<HttpSession> MakeSystemHttpSession() {
    return std::make_unique<CurlHttpSession>();
}

} // namespace tolbe::update
