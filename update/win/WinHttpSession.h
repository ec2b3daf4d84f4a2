#pragma once

#include "update/HttpSession.h"

#include <memory>

namespace tolbe::update {

// HttpSession over WinHTTP, the system's own client, driven on a worker thread of its own as the
// libcurl session is: the reader's calls wait in slices of a few milliseconds and call the idle
// hook between them, the body waits in a bounded buffer, and the size cap and the deadline are
// enforced on both threads. Server certificates are checked against the system's root store.
class WinHttpSession final : public HttpSession {
public:
    WinHttpSession();
    ~WinHttpSession() override;
    WinHttpSession(const WinHttpSession&) = delete;
    WinHttpSession& operator=(const WinHttpSession&) = delete;

    void SetLimits(const HttpLimits& limits) override;
    void SetIdle(std::function<void()> idle) override;
    void Abort() override;
    bool Open(const std::string& url, const std::string& user_agent) override;
    const std::string& RawHeaders() const override;
    ReadResult Read(char* buffer, std::size_t size) override;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace tolbe::update
