#include "common/FileLock.h"

#include "common/win/WinText.h"

#include <windows.h>

#include <thread>

namespace tolbe {

FileLock::FileLock(const std::filesystem::path& lockFile, std::chrono::milliseconds wait) {
    // The lock file itself, never what a link planted in its place points to.
    const HANDLE h = ::CreateFileW(lockFile.c_str(), GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        m_problem = "cannot open " + lockFile.string() + ": " + win::SystemMessage(::GetLastError());
        return;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(h, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        m_problem = "cannot lock " + lockFile.string() + ": not a plain file";
        ::CloseHandle(h);
        return;
    }
    // Polled rather than blocking, so a holder that hangs costs a message, not a frozen window.
    // A byte range lock belongs to its handle: two locks in one process exclude each other too.
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        OVERLAPPED at{};
        if (::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
            m_fd = reinterpret_cast<std::intptr_t>(h);
            return;
        }
        if (const DWORD error = ::GetLastError(); error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) {
            m_problem = "cannot lock " + lockFile.string() + ": " + win::SystemMessage(error);
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            m_problem = lockFile.string() + " is held by another program";
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ::CloseHandle(h);
}

FileLock::~FileLock() {
    if (m_fd != -1) ::CloseHandle(reinterpret_cast<HANDLE>(m_fd)); // the lock goes with the handle
}

} // namespace tolbe
