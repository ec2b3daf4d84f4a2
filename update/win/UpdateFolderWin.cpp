#include "update/UpdateFolder.h"

#include "common/win/WinText.h"
#include "update/Descriptor.h"

#include <windows.h>

#include <random>

// The Update folder's files on Windows: the profile's access lists keep other users out, so the
// folder needs no mode change; a junction planted in its place or in the lock's is refused.
namespace tolbe::update {
namespace {

namespace fs = std::filesystem;

struct Handle {
    HANDLE h = INVALID_HANDLE_VALUE;
    explicit Handle(HANDLE handle) : h(handle) {}
    ~Handle() {
        if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
};

HashReader ReaderOf(HANDLE in) {
    return [in](char* buf, std::size_t size, std::string& why) -> long long {
        DWORD n = 0;
        if (!::ReadFile(in, buf, static_cast<DWORD>(size), &n, nullptr)) {
            why = win::SystemMessage(::GetLastError());
            return -1;
        }
        return n;
    };
}

// Opened for reading only, and nobody may write or rename it while it is open: what is hashed
// is what stays there.
HANDLE OpenToRead(const fs::path& file) {
    return ::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

bool PlainFile(HANDLE h) {
    BY_HANDLE_FILE_INFORMATION info{};
    return ::GetFileInformationByHandle(h, &info) &&
           (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

} // namespace

UpdateFolderLock::UpdateFolderLock(const fs::path& folder) {
    if (!MakePrivateFolder(folder)) {
        m_why = "the update folder " + folder.string() + " is not a private folder of this user's";
        return;
    }
    const fs::path file = folder / kLockFileName;
    const HANDLE h = ::CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE || !PlainFile(h)) {
        m_why = "the update lock " + file.string() + " cannot be opened";
        if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
        return;
    }
    OVERLAPPED at{};
    if (!::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        const DWORD error = ::GetLastError();
        m_busy = error == ERROR_LOCK_VIOLATION;
        m_why = m_busy ? "another update check of this user is running" : "cannot lock: " + win::SystemMessage(error);
        ::CloseHandle(h);
        return;
    }
    m_fd = reinterpret_cast<std::intptr_t>(h);
}

UpdateFolderLock::~UpdateFolderLock() {
    if (m_fd != -1) ::CloseHandle(reinterpret_cast<HANDLE>(m_fd));
}

bool ProcessAlive(long long pid) {
    if (pid <= 0 || pid > 0xFFFFFFFFll) return false;
    if (static_cast<DWORD>(pid) == ::GetCurrentProcessId()) return true;
    const HANDLE h = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    // Another user's process cannot be opened, but it is there.
    if (h == nullptr) return ::GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    const bool running = ::GetExitCodeProcess(h, &code) && code == STILL_ACTIVE;
    ::CloseHandle(h);
    return running;
}

Result<std::string> FileSha256(const fs::path& file, std::stop_token stop) {
    const Handle in{OpenToRead(file)};
    if (in.h == INVALID_HANDLE_VALUE)
        return Result<std::string>::Fail(file.string() + ": " + win::SystemMessage(::GetLastError()));
    return HashStream(ReaderOf(in.h), std::move(stop), {});
}

Status StartDetached(const fs::path& program) {
    const auto fail = [](std::string reason) { return Fail(std::move(reason)); };
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(program, ec))) return fail(program.string() + " does not exist");
    // The command line is the program's own quoted path: CreateProcessW may write into it.
    std::wstring command = L"\"" + program.wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE,
                          DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup, &started))
        return fail("cannot start " + program.string() + ": " + win::SystemMessage(::GetLastError()));
    ::CloseHandle(started.hThread);
    ::CloseHandle(started.hProcess);
    return Ok();
}

Result<fs::path> PrivateCopyMatching(const fs::path& file, const std::string& expected_sha256, const fs::path& parent,
                                     std::stop_token stop) {
    using R = Result<fs::path>;
    const Handle in{OpenToRead(file)};
    if (in.h == INVALID_HANDLE_VALUE) return R::Fail(file.string() + ": " + win::SystemMessage(::GetLastError()));
    if (!PlainFile(in.h)) return R::Fail(file.string() + " is not a plain file");
    if (!MakePrivateFolder(parent)) return R::Fail("cannot make the private folder " + parent.string());
    // A new folder of a name nobody can foresee, as mkdtemp makes one.
    std::random_device seed;
    fs::path dir;
    for (int attempt = 0; attempt < 100 && dir.empty(); ++attempt) {
        char name[16];
        std::snprintf(name, sizeof name, "setup-%08x", static_cast<unsigned>(seed()));
        if (::CreateDirectoryW((parent / name).c_str(), nullptr))
            dir = parent / name;
        else if (::GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    if (dir.empty()) return R::Fail("cannot make a folder under " + parent.string());
    const fs::path copy = dir / file.filename();
    auto discard = [&](const std::string& why) {
        std::error_code ec;
        fs::remove_all(dir, ec);
        return R::Fail(why);
    };
    Handle out{::CreateFileW(copy.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (out.h == INVALID_HANDLE_VALUE) return discard("cannot create " + copy.string());
    const auto hash = HashStream(ReaderOf(in.h), std::move(stop), [&](const char* data, std::size_t n) {
        DWORD written = 0;
        return ::WriteFile(out.h, data, static_cast<DWORD>(n), &written, nullptr) && written == n;
    });
    bool ok = ::FlushFileBuffers(out.h) != 0;
    ok = ::CloseHandle(out.h) != 0 && ok;
    out.h = INVALID_HANDLE_VALUE;
    if (!hash) return discard(hash.Error());
    if (!ok) return discard("cannot write " + copy.string());
    if (*hash != NormalisedSha256(expected_sha256))
        return discard(file.string() + " is not the setup program the descriptor announced");
    return R::Ok(copy);
}

} // namespace tolbe::update
