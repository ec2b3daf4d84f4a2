#pragma once

#include "update/HttpSession.h"

#include <memory>

namespace tolbe::update {

// HttpSession over libcurl, driven on a worker thread of its own: the transfer never waits for
// the reader's thread, and the reader's calls wait in slices of a few milliseconds, calling the
// idle hook between them. Received body bytes wait in a buffer of bounded size; when it is
// full the worker waits for the reader. Limits (size cap, deadline) are enforced by the worker.
class CurlHttpSession final : public HttpSession {
public:
    CurlHttpSession();
    ~CurlHttpSession() override;
    CurlHttpSession(const CurlHttpSession&) = delete;
    CurlHttpSession& operator=(const CurlHttpSession&) = delete;

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
