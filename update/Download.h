#pragma once

#include "update/HttpSession.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>

namespace tolbe::update {

// Fetches one file from an http or https URL into a local file, 512 bytes at a time. Callers set
// URL and SaveFile, call Execute, ask GetHeader("Content-Length") and then StartDownLoad;
// completeness is judged by comparing DownloadedBytes with that announced length. The calls
// block their thread (the live update runs them on a worker); a stop requested on the token of
// StopOn, from any thread, ends a waiting call at once and every later one.
class Download {
public:
    using SessionFactory = std::function<std::unique_ptr<HttpSession>()>;

    static constexpr const char* kUserAgent = "Tgpeli";
    static constexpr std::size_t kHeaderBufferBytes = 1024;
    static constexpr std::size_t kReadBlockBytes = 512;

    // `sessions` makes the HTTP request (libcurl when empty).
    explicit Download(SessionFactory sessions = {});

    void URL(const std::string& url) { m_url = url; }
    void SaveFile(const std::string& path) { m_saveFile = path; }
    // Size cap and deadline of the following requests.
    void Limits(const HttpLimits& limits) { m_limits = limits; }
    // Runs after every read, after every byte of the body's last, short block and after every
    // GetData event: the points where a transfer can be stopped (none by default).
    void AfterRead(std::function<void()> hook) { m_afterRead = std::move(hook); }

    // Opens the request and reads the response headers. A URL that is not http or https, or a
    // request that cannot be made, leaves the object idle without a word.
    void Execute();
    // Value of one of the headers Content-Length, Content-Type, Date, Last-Modified and Server
    // (name asked in any letter case; a header line counts only when it begins with the name
    // exactly as written here, followed by a colon), the whole header block for "", else "0".
    // Content-Length answers "0" for a "404 Not Found" response. Refreshes HttpHeaderText.
    std::string GetHeader(const std::string& name);
    // Writes the response body into SaveFile (created or emptied) and raises the events.
    void StartDownLoad();
    // Stops a transfer, on the transfer's own thread (from an event or the AfterRead hook).
    void Cancel();
    // The stop of the following requests: once it is requested (from any thread), a waiting call
    // returns at once, a transfer ends at its next read and a later Execute opens nothing. A stop
    // requested between two transfers is never forgotten: the token is the caller's, not reset here.
    void StopOn(std::stop_token stop) { m_stop = std::move(stop); }

    // Read from any thread (a window shows the progress while the worker writes it).
    bool Running() const { return m_running; }
    const std::string& HeaderText() const { return m_headerText; }

    // Raised after every read with the bytes written so far in this transfer.
    std::function<void(std::int32_t total)> GetData;
    // Raised when SaveFile cannot be created or written.
    std::function<void(const std::string& message)> ErrMassage;
    // Raised once after the read that ended the body, never after a failed read.
    std::function<void()> DownLoadOver;

    // The header block as of the last GetHeader call, kept after the transfer ends.
    std::string HttpHeaderText;
    // Running byte total of the current StartDownLoad; never reset here (callers set it to 0).
    std::atomic<std::int32_t> DownloadedBytes{0};

private:
    std::string HeaderValue(const std::string& header) const;
    HttpSession::ReadResult ReadBody(char* buffer, std::size_t size);
    // Runs the AfterRead hook; true when the transfer goes on.
    bool Continues();

    SessionFactory m_sessions;
    std::string m_url;
    std::string m_saveFile;
    std::atomic<bool> m_running{false};
    std::unique_ptr<HttpSession> m_session; // the open request; null when idle
    std::stop_token m_stop;
    HttpLimits m_limits;
    std::function<void()> m_afterRead;
    std::string m_headerText;
    bool m_headerOk = false;
};

// True for URLs this program fetches: http:// and https:// (scheme in any letter case).
bool IsWebUrl(const std::string& url);

} // namespace tolbe::update
