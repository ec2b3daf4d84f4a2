#include "common/FileLock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace tolbe {

FileLock::FileLock(const std::filesystem::path& lockFile, std::chrono::milliseconds wait) {
    const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        m_problem = "cannot open " + lockFile.string() + ": " + std::strerror(errno);
        return;
    }
    // Polled rather than blocking, so a holder that hangs costs a message, not a frozen window.
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            m_fd = fd;
            return;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            m_problem = "cannot lock " + lockFile.string() + ": " + std::strerror(errno);
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            m_problem = lockFile.string() + " is held by another program";
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ::close(fd);
}

FileLock::~FileLock() {
    if (m_fd != -1) ::close(static_cast<int>(m_fd)); // the lock goes with the descriptor
}

} // namespace tolbe
