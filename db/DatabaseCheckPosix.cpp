#include "db/DatabaseCheck.h"

#include "common/Digest.h"

#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// A file's stamp and who may replace it, from the descriptor and the folders' owners and modes.
namespace tolbe::db {
namespace {

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

bool ReadAt(int fd, std::uint8_t* buf, std::size_t n, off_t at) {
    std::size_t done = 0;
    while (done < n) {
        const ssize_t r = ::pread(fd, buf + done, n - done, at + static_cast<off_t>(done));
        if (r <= 0) return false;
        done += static_cast<std::size_t>(r);
    }
    return true;
}

} // namespace

std::optional<FileStamp> StampOf(const std::filesystem::path& file) {
    Fd f{::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC)};
    struct stat st {};
    if (f.fd < 0 || ::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    FileStamp s;
    s.device = static_cast<std::uint64_t>(st.st_dev);
    s.inode = static_cast<std::uint64_t>(st.st_ino);
    s.size = static_cast<std::uint64_t>(st.st_size);
    s.mtime_ns = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    constexpr std::size_t kPage = 4096;
    const std::size_t head = std::min<std::size_t>(kPage, s.size);
    const std::size_t tail = std::min<std::size_t>(kPage, s.size);
    std::vector<std::uint8_t> bytes(head + tail);
    if (!ReadAt(f.fd, bytes.data(), head, 0) ||
        !ReadAt(f.fd, bytes.data() + head, tail, static_cast<off_t>(s.size - tail)))
        return std::nullopt;
    try {
        s.pages = Sha256(bytes);
    } catch (const std::runtime_error&) {
        return std::nullopt; // no memory to hash: the file is read through as if unknown
    }
    return s;
}

bool OnlyThisUserCanReplace(const std::filesystem::path& file) {
    std::error_code ec;
    const std::filesystem::path real = std::filesystem::canonical(file, ec);
    if (ec) return false;
    const uid_t me = ::getuid();
    const auto trusted = [me](const struct stat& st) { return st.st_uid == me || st.st_uid == 0; };
    struct stat st {};
    if (::lstat(real.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || !trusted(st) || (st.st_mode & 022) != 0)
        return false;
    for (std::filesystem::path dir = real.parent_path();; dir = dir.parent_path()) {
        struct stat d {};
        if (::lstat(dir.c_str(), &d) != 0 || !S_ISDIR(d.st_mode) || !trusted(d)) return false;
        // Others may write a sticky folder, but not replace what this user or root owns in it.
        if ((d.st_mode & 022) != 0 && (d.st_mode & S_ISVTX) == 0) return false;
        if (dir == dir.root_path() || dir.empty()) break;
    }
    return true;
}

} // namespace tolbe::db
