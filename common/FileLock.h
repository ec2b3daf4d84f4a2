#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

namespace tolbe {

// An exclusive lock on a lock file, held from construction until destruction. Two programs that
// read, change and replace one file (the remote's record, the settings) each hold it around the
// whole change, so neither writes over what the other changed in between. It works between
// threads of one process as between processes: every lock is an open file of its own.
class FileLock {
public:
    // Waits at most `wait` for another holder to let go. The lock file is created with mode 0600
    // when missing and never opened through a link.
    explicit FileLock(const std::filesystem::path& lockFile,
                      std::chrono::milliseconds wait = std::chrono::milliseconds(10000));
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool Held() const { return m_fd != -1; }
    // Why the lock is not held, for a message; empty when it is.
    const std::string& Problem() const { return m_problem; }

    // The lock file that guards `file`: beside it, with ".lock" added.
    static std::filesystem::path For(const std::filesystem::path& file);

private:
    std::intptr_t m_fd = -1; // the descriptor, or the HANDLE on Windows
    std::string m_problem;
};

} // namespace tolbe
