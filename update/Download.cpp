#include "update/Download.h"

#include "common/AsciiText.h"
#include "update/CurlHttpSession.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <unistd.h>

namespace tolbe::update {
namespace {

// Owns the target file's descriptor for one transfer.
class OutputFile {
public:
    // Whatever stands at the name (a leftover, or a link planted to redirect the bytes) is
    // removed, never followed, and the file is made afresh: if anything takes the name again
    // in between, the open fails instead of writing through it.
    explicit OutputFile(const std::string& path) {
        if (path.empty()) return;
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) return;
        m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    }
    ~OutputFile() { Close(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    bool Write(const char* data, std::size_t n) {
        while (n > 0) {
            const ssize_t w = ::write(m_fd, data, n);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return false;
            data += w;
            n -= static_cast<std::size_t>(w);
        }
        return true;
    }
    bool Close() {
        if (m_fd < 0) return true;
        const int rc = ::close(m_fd);
        m_fd = -1;
        return rc == 0;
    }

private:
    int m_fd = -1;
};

} // namespace

bool IsWebUrl(const std::string& url) {
    const std::string u = ToUpper(url.substr(0, 8));
    return u.rfind("HTTP://", 0) == 0 || u.rfind("HTTPS://", 0) == 0;
}

Download::Download(SessionFactory sessions) : m_sessions(std::move(sessions)) {
    if (!m_sessions) m_sessions = [] { return std::make_unique<CurlHttpSession>(); };
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
