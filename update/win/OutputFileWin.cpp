#include "update/OutputFile.h"

#include "common/win/WinText.h"

#include <windows.h>

namespace tolbe::update {

OutputFile::OutputFile(const std::string& path) {
    if (path.empty()) return;
    const std::wstring name = win::Widen(path);
    if (!::DeleteFileW(name.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND) return;
    const HANDLE h = ::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) m_fd = reinterpret_cast<std::intptr_t>(h);
}

bool OutputFile::Write(const char* data, std::size_t n) {
    while (n > 0) {
        const DWORD piece = static_cast<DWORD>(n < (1u << 20) ? n : (1u << 20));
        DWORD written = 0;
        if (!::WriteFile(reinterpret_cast<HANDLE>(m_fd), data, piece, &written, nullptr) || written == 0) return false;
        data += written;
        n -= written;
    }
    return true;
}

bool OutputFile::Close() {
    if (m_fd == -1) return true;
    const bool ok = ::CloseHandle(reinterpret_cast<HANDLE>(m_fd)) != 0;
    m_fd = -1;
    return ok;
}

} // namespace tolbe::update
