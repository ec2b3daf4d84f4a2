#include "update/CurlHttpSession.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>
#include <string_view>

namespace tolbe::update {
namespace {

// Body bytes held before the transfer is paused; the reader takes 512 at a time.
constexpr std::size_t kBodyHighWater = 64 * 1024;
constexpr long kConnectTimeout_s = 30;
// A transfer that moves less than one byte per second for this long has stalled.
constexpr long kStallTime_s = 60;
constexpr long kMaxRedirects = 5;
constexpr int kPollWait_ms = 1000;

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), s.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

} // namespace

struct CurlHttpSession::Impl {
    CURLM* multi = nullptr;
    CURL* easy = nullptr;
    bool attached = false;

    std::string block;     // header lines of the response being received
    bool location = false; // that response names a redirect target
    std::string headers;   // header block of the final response
    bool headers_done = false;

    std::string body;
    std::size_t body_pos = 0;
    bool paused = false;

    bool finished = false;
    CURLcode result = CURLE_OK;

    ~Impl() {
        if (attached) curl_multi_remove_handle(multi, easy);
        if (easy != nullptr) curl_easy_cleanup(easy);
        if (multi != nullptr) curl_multi_cleanup(multi);
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
            if (!interim && !followed) {
                self->headers = self->block;
                self->headers_done = true;
            }
        } else {
            self->block.append(line);
            self->block += '\0';
            if (StartsWithNoCase(line, "Location:")) self->location = true;
        }
        return size * count;
    }

    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
        auto* self = static_cast<Impl*>(user);
        if (self->Available() >= kBodyHighWater) {
            self->paused = true;
            return CURL_WRITEFUNC_PAUSE; // libcurl hands the same bytes over again after the pause
        }
        if (self->body_pos == self->body.size() || self->body_pos >= kBodyHighWater) {
            self->body.erase(0, self->body_pos);
            self->body_pos = 0;
        }
        self->body.append(data, size * count);
        return size * count;
    }

    // Advances the transfer once, waiting up to kPollWait_ms for the network.
    void Pump() {
        int running = 0;
        curl_multi_perform(multi, &running);
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
            if (msg->msg == CURLMSG_DONE) {
                finished = true;
                result = msg->data.result;
            }
        }
        if (!finished && running > 0) curl_multi_poll(multi, nullptr, 0, kPollWait_ms, nullptr);
        if (!finished && running == 0) finished = true; // nothing left to drive
    }
};

CurlHttpSession::CurlHttpSession() : m_impl(std::make_unique<Impl>()) {}
CurlHttpSession::~CurlHttpSession() = default;

bool CurlHttpSession::Open(const std::string& url, const std::string& user_agent) {
    GlobalInit();
    m_impl = std::make_unique<Impl>();
    Impl& s = *m_impl;
    s.multi = curl_multi_init();
    s.easy = curl_easy_init();
    if (s.multi == nullptr || s.easy == nullptr) return false;

    CURL* e = s.easy;
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_USERAGENT, user_agent.c_str());
    // Only plain web requests, also after a redirect.
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
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
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, kStallTime_s);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Impl::OnHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &s);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Impl::OnBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &s);

    if (curl_multi_add_handle(s.multi, e) != CURLM_OK) return false;
    s.attached = true;
    while (!s.headers_done && !s.finished)
        s.Pump();
    return s.headers_done;
}

const std::string& CurlHttpSession::RawHeaders() const {
    return m_impl->headers;
}

HttpSession::ReadResult CurlHttpSession::Read(char* buffer, std::size_t size) {
    Impl& s = *m_impl;
    if (!s.attached || !s.headers_done) return {0, false};
    while (s.Available() < size && !s.finished) {
        if (s.paused) {
            s.paused = false;
            curl_easy_pause(s.easy, CURLPAUSE_CONT);
            continue;
        }
        s.Pump();
    }
    const std::size_t n = std::min(size, s.Available());
    if (n > 0) std::memcpy(buffer, s.body.data() + s.body_pos, n);
    s.body_pos += n;
    // Bytes that arrived before a failure are handed out first; the failure shows on the next read.
    if (n == 0 && s.finished && s.result != CURLE_OK) return {0, false};
    return {n, true};
}

} // namespace tolbe::update
