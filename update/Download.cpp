#include "update/Download.h"

#include "common/AsciiText.h"
#include "update/OutputFile.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace tolbe::update {

bool IsWebUrl(const std::string& url) {
    const std::string u = ToUpper(url.substr(0, 8));
    return u.rfind("HTTP://", 0) == 0 || u.rfind("HTTPS://", 0) == 0;
}

Download::Download(SessionFactory sessions) : m_sessions(std::move(sessions)) {
    if (!m_sessions) m_sessions = MakeSystemHttpSession;
}

void Download::Execute() {
    m_running = true;
    m_session.reset();
    if (IsWebUrl(m_url)) m_session = m_sessions();
    if (!m_session) {
        Cancel();
        return;
    }
    m_session->SetLimits(m_limits);
    // Runs on this thread while the session waits: a cancel asked from elsewhere ends the wait.
    m_session->SetIdle([this] {
        if (m_stop.stop_requested()) m_session->Abort();
    });
    const bool opened = !m_stop.stop_requested() && m_session->Open(m_url, kUserAgent);
    if (!opened || !m_running || m_stop.stop_requested()) {
        Cancel();
        return;
    }
    // The block and its closing NUL must fit the header buffer, or the query fails.
    const std::string& block = m_session->RawHeaders();
    m_headerOk = block.size() + 1 <= kHeaderBufferBytes;
    m_headerText = m_headerOk ? block : std::string();
}

std::string Download::HeaderValue(const std::string& header) const {
    // Only a whole header name at the start of a line: "X-Content-Length:" is another header.
    const std::size_t p = m_headerText.find(std::string(1, '\0') + header + ":");
    if (p == std::string::npos) return "0";
    const std::size_t start = p + 1 + header.size() + 2; // after the name, the colon and one blank
    if (start >= m_headerText.size()) return "";
    const std::size_t end = m_headerText.find('\0', start);
    return m_headerText.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

HttpSession::ReadResult Download::ReadBody(char* buffer, std::size_t size) {
    if (!m_session) return {0, false};
    return m_session->Read(buffer, size);
}

bool Download::Continues() {
    if (m_afterRead) m_afterRead();
    if (m_stop.stop_requested()) Cancel();
    return m_running;
}

std::string Download::GetHeader(const std::string& name) {
    HttpHeaderText = m_headerText;
    if (!m_running) {
        Cancel();
        return "0";
    }
    if (m_headerText.empty()) return "0";
    const std::string key = ToUpper(name);
    if (key == "CONTENT-LENGTH") {
        if (m_headerText.find("404 Not Found") != std::string::npos) return "0";
        return HeaderValue("Content-Length");
    }
    if (key == "CONTENT-TYPE") return HeaderValue("Content-Type");
    if (key == "DATE") return HeaderValue("Date");
    if (key == "LAST-MODIFIED") return HeaderValue("Last-Modified");
    if (key == "SERVER") return HeaderValue("Server");
    if (key.empty()) return m_headerText;
    return "0";
}

void Download::StartDownLoad() {
    if (!m_running) {
        Cancel();
        return;
    }
    bool failed = false;
    {
        OutputFile file(m_saveFile);
        failed = !file.IsOpen();
        std::int64_t total = 0;
        char block[kReadBlockBytes];
        while (!failed) {
            const HttpSession::ReadResult r = ReadBody(block, kReadBlockBytes);
            const std::size_t n = r.ok ? r.bytes : 0;
            const bool goes_on = Continues();
            if (n == kReadBlockBytes) {
                if (!goes_on) break; // cancelled after the read: this block is dropped
                if (!file.Write(block, n)) {
                    failed = true;
                    break;
                }
            } else {
                for (std::size_t i = 0; i < n && !failed; ++i) {
                    failed = !file.Write(block + i, 1);
                    Continues();
                }
                if (failed) break;
            }
            total += static_cast<std::int64_t>(n);
            if (total > INT32_MAX) {
                failed = true; // the byte count cannot be reported any more
                break;
            }
            DownloadedBytes = static_cast<std::int32_t>(total);
            if (GetData) GetData(DownloadedBytes);
            Continues();
            if (n < kReadBlockBytes) {
                // A failed read (connection cut, stopped) ends the body too, but incomplete.
                if (r.ok && DownLoadOver) DownLoadOver();
                break;
            }
        }
        if (!file.Close()) failed = true;
    }
    Cancel();
    if (failed && ErrMassage) ErrMassage("File " + m_saveFile + " are used, can't delete!");
}

void Download::Cancel() {
    // Never called inside a call on the session (its idle hook only aborts), so it may go at once.
    m_running = false;
    m_session.reset();
}

} // namespace tolbe::update
