#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace tolbe::update {

// One HTTP request: open a URL, read the response's header block, then its body in chunks.
// Everything runs on the caller's thread; every call blocks until it has its answer.
class HttpSession {
public:
    struct ReadResult {
        std::size_t bytes = 0; // bytes placed in the buffer
        bool ok = true;        // false when the transfer failed (connection lost, session closed)
    };

    virtual ~HttpSession() = default;

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

// The libcurl backend: http and https only, no proxy, no cache.
std::unique_ptr<HttpSession> MakeCurlHttpSession();

} // namespace tolbe::update
