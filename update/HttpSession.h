#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tolbe::update {

// Bounds of one request, so that no server can hold the program or fill the disk.
struct HttpLimits {
    // Body bytes accepted at most; a larger announced length fails the request at once, and a
    // body that runs past min(this, its announced length) fails the transfer.
    std::uint64_t max_body_bytes = 512ull * 1024 * 1024;
    // The whole request must end within floor + announced length / min_bytes_per_s.
    std::chrono::milliseconds deadline_floor{20000};
    std::uint64_t min_bytes_per_s = 32 * 1024;
};

// One HTTP request: open a URL, read the response's header block, then its body in chunks.
// The calls wait for their answers; while they wait they call the idle hook every few
// milliseconds, and Abort (from that hook, say) makes them return at once.
class HttpSession {
public:
    struct ReadResult {
        std::size_t bytes = 0; // bytes placed in the buffer
        bool ok = true;        // false when the transfer failed (connection lost, session closed)
    };

    virtual ~HttpSession() = default;

    virtual void SetLimits(const HttpLimits&) {}
    // Called repeatedly, on the caller's thread, while Open or Read waits.
    virtual void SetIdle(std::function<void()>) {}
    // Ends the request: a waiting Open or Read returns failure, and so does every later call.
    virtual void Abort() {}

    // Sends a GET request for `url` and waits for the final response's status line and headers.
    // False when the request cannot be made or no response arrives.
    virtual bool Open(const std::string& url, const std::string& user_agent) = 0;

    // The response's header block: the status line and every header line, each followed by one
    // NUL character, without line ends. Empty before a successful Open.
    virtual const std::string& RawHeaders() const = 0;

    // Fills `buffer` with up to `size` body bytes, fewer only at the end of the body or when the
    // transfer fails. A result of 0 bytes with ok means the body is complete.
    virtual ReadResult Read(char* buffer, std::size_t size) = 0;
};

// The platform's backend, http and https only, no proxy, no cache: libcurl (CurlHttpSession)
// on Linux, WinHTTP (WinHttpSession) on Windows.
std::unique_ptr<HttpSession> MakeSystemHttpSession();

} // namespace tolbe::update
