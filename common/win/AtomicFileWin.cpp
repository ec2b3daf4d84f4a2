#include "common/AtomicFile.h"

#include "common/win/WinText.h"

#include <windows.h>

#include <string>
#include <thread>

// The Windows calls behind AtomicFile.h: the temporary is created new (CREATE_NEW, never through
// a planted link), written through to the disk, and moved over the target with write-through, so
// the rename itself is on disk when the call returns (there is no folder to flush).
namespace tolbe {
namespace fs = std::filesystem;
namespace {

[[noreturn]] void ThrowLast(const char* what, const fs::path& file) {
    throw fs::filesystem_error(what, file, win::LastError());
}

struct Handle {
    HANDLE h = INVALID_HANDLE_VALUE;
    ~Handle() {
        if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    }
};

void WriteAll(HANDLE h, const char* data, std::size_t size, const fs::path& file) {
    for (std::size_t done = 0; done < size;) {
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 20));
        DWORD written = 0;
        if (!::WriteFile(h, data + done, piece, &written, nullptr) || written == 0) ThrowLast("cannot write", file);
        done += written;
    }
}

// A target that is open (a database the program reads, opened sharing delete) cannot be moved
// over, but it can be renamed: ReplaceFileW moves it to a name of its own, which is then deleted
// (the open handle keeps reading the old bytes until it is closed, as on Linux).
bool ReplaceOpenTarget(const fs::path& from, const fs::path& to) {
    fs::path old = TempPathFor(to);
    old += "-replaced";
    if (!::ReplaceFileW(to.c_str(), from.c_str(), old.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
        return false;
    ::DeleteFileW(old.c_str());
    return true;
}

// A virus scanner or the search indexer may hold a fresh file open for a moment: the move is
// tried again for up to a second before it counts as failed.
void MoveOver(const fs::path& from, const fs::path& to) {
    for (int attempt = 0;; ++attempt) {
        if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return;
        const DWORD error = ::GetLastError();
        if (error == ERROR_ACCESS_DENIED && ReplaceOpenTarget(from, to)) return;
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || attempt == 50)
            throw fs::filesystem_error("cannot rename", from, to,
                                       std::error_code(static_cast<int>(error), std::system_category()));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

template <typename Fill> void Replace(const fs::path& target, Fill fill) {
    const fs::path temp = TempPathFor(target);
    std::error_code ignored;
    try {
        // A name already there is removed (a link itself, never what it points to).
        if (!::DeleteFileW(temp.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND) ThrowLast("cannot remove", temp);
        Handle out{::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr)};
        if (out.h == INVALID_HANDLE_VALUE) ThrowLast("cannot create", temp);
        fill(out.h, temp);
        if (!::FlushFileBuffers(out.h)) ThrowLast("cannot flush", temp);
        const HANDLE h = out.h;
        out.h = INVALID_HANDLE_VALUE;
        if (!::CloseHandle(h)) ThrowLast("cannot write", temp);
        MoveOver(temp, target);
    } catch (...) {
        fs::remove(temp, ignored);
        throw;
    }
}

} // namespace

fs::path TempPathFor(const fs::path& target) {
    fs::path t = target;
    t += std::string(kTempMarker) + std::to_string(::GetCurrentProcessId());
    return t;
}

void WriteFileAtomically(const fs::path& target, std::string_view bytes) {
    Replace(target, [&](HANDLE h, const fs::path& temp) { WriteAll(h, bytes.data(), bytes.size(), temp); });
}

void CopyFileAtomically(const fs::path& from, const fs::path& to, const std::atomic<bool>* stop) {
    Handle in{::CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr)};
    if (in.h == INVALID_HANDLE_VALUE) ThrowLast("cannot open", from);
    Replace(to, [&](HANDLE out, const fs::path& temp) {
        std::string piece(64 * 1024, '\0');
        for (;;) {
            if (stop != nullptr && *stop)
                throw fs::filesystem_error("stopped", from, to, std::make_error_code(std::errc::operation_canceled));
            DWORD n = 0;
            if (!::ReadFile(in.h, piece.data(), static_cast<DWORD>(piece.size()), &n, nullptr))
                ThrowLast("cannot read", from);
            if (n == 0) break;
            WriteAll(out, piece.data(), n, temp);
        }
    });
}

void CommitFile(const fs::path& temp, const fs::path& target) {
    if (!fs::is_regular_file(fs::symlink_status(temp)))
        throw fs::filesystem_error("not a file of ours", temp, std::make_error_code(std::errc::invalid_argument));
    if (!SyncToDisk(temp)) ThrowLast("cannot flush", temp);
    MoveOver(temp, target);
}

bool SyncToDisk(const fs::path& path) {
    std::error_code ec;
    // A folder's entries are on disk once a write-through move returns; only files are flushed.
    if (fs::is_directory(path, ec)) return true;
    Handle h{::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    return h.h != INVALID_HANDLE_VALUE && ::FlushFileBuffers(h.h);
}

bool SyncFolderOf(const fs::path& file) {
    return SyncToDisk(file.has_parent_path() ? file.parent_path() : fs::path("."));
}

} // namespace tolbe
