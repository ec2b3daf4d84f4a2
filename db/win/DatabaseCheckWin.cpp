#include "db/DatabaseCheck.h"

#include "common/Digest.h"

#include <windows.h>

#include <stdexcept>
#include <vector>

// A file's stamp from its handle: the volume's serial number and the file index stand for the
// device and the inode, the last write time (100 ns steps) for the modification time.
namespace tolbe::db {
namespace {

struct Handle {
    HANDLE h = INVALID_HANDLE_VALUE;
    ~Handle() {
        if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    }
};

bool ReadAt(HANDLE h, std::uint8_t* buf, std::size_t n, std::uint64_t at) {
    std::size_t done = 0;
    while (done < n) {
        OVERLAPPED where{};
        const std::uint64_t offset = at + done;
        where.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
        where.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD got = 0;
        if (!::ReadFile(h, buf + done, static_cast<DWORD>(n - done), &got, &where) || got == 0) return false;
        done += got;
    }
    return true;
}

} // namespace

std::optional<FileStamp> StampOf(const std::filesystem::path& file) {
    Handle f{::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr)};
    BY_HANDLE_FILE_INFORMATION info{};
    if (f.h == INVALID_HANDLE_VALUE || !::GetFileInformationByHandle(f.h, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
        return std::nullopt;
    FileStamp s;
    s.device = info.dwVolumeSerialNumber;
    s.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    s.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    const std::uint64_t ticks =
        (static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime;
    s.mtime_ns = static_cast<std::int64_t>(ticks) * 100;
    constexpr std::size_t kPage = 4096;
    const std::size_t head = static_cast<std::size_t>(std::min<std::uint64_t>(kPage, s.size));
    const std::size_t tail = head;
    std::vector<std::uint8_t> bytes(head + tail);
    if (!ReadAt(f.h, bytes.data(), head, 0) || !ReadAt(f.h, bytes.data() + head, tail, s.size - tail))
        return std::nullopt;
    try {
        s.pages = Sha256(bytes);
    } catch (const std::runtime_error&) {
        return std::nullopt; // no memory to hash: the file is read through as if unknown
    }
    return s;
}

// Who may replace a file on Windows is a matter of access lists and privileges that no simple
// test settles, so no file is taken as safe: each one is read through at every open.
bool OnlyThisUserCanReplace(const std::filesystem::path&) {
    return false;
}

} // namespace tolbe::db
