#include "update/OutputFile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tolbe::update {

OutputFile::OutputFile(const std::string& path) {
    if (path.empty()) return;
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) return;
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}

bool OutputFile::Write(const char* data, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(static_cast<int>(m_fd), data, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        data += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

bool OutputFile::Close() {
    if (m_fd == -1) return true;
    const int rc = ::close(static_cast<int>(m_fd));
    m_fd = -1;
    return rc == 0;
}

} // namespace tolbe::update
