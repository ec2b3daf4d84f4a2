#pragma once

#include "update/HttpSession.h"

#include <memory>

namespace tolbe::update {

// HttpSession over libcurl's multi interface: the transfer advances only while Open or Read
// waits, so the body can be taken 512 bytes at a time on one thread. Received body bytes wait
// in a buffer of bounded size; beyond it the transfer is paused until the reader catches up.
class CurlHttpSession final : public HttpSession {
public:
    CurlHttpSession();
    ~CurlHttpSession() override;
    CurlHttpSession(const CurlHttpSession&) = delete;
    CurlHttpSession& operator=(const CurlHttpSession&) = delete;

    bool Open(const std::string& url, const std::string& user_agent) override;
    const std::string& RawHeaders() const override;
    ReadResult Read(char* buffer, std::size_t size) override;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace tolbe::update
