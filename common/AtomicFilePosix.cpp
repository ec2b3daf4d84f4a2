#include "common/AtomicFile.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace tolbe {
namespace fs = std::filesystem;
namespace {

[[noreturn]] void ThrowErrno(const char* what, const fs::path& file) {
    throw fs::filesystem_error(what, file, std::error_code(errno, std::generic_category()));
}

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

void WriteAll(int fd, const char* data, std::size_t size, const fs::path& file) {
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) ThrowErrno("cannot write", file);
        done += static_cast<std::size_t>(n);
    }
}

// Creates the temporary for `target` and hands its descriptor to `fill`, then commits it.
template <typename Fill> void Replace(const fs::path& target, Fill fill) {
    const fs::path temp = TempPathFor(target);
    std::error_code ignored;
    try {
        // A name already there is removed, never followed: a planted link must not redirect the write.
        if (::unlink(temp.c_str()) != 0 && errno != ENOENT) ThrowErrno("cannot remove", temp);
        Fd out{::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600)};
        if (out.fd < 0) ThrowErrno("cannot create", temp);
        fill(out.fd, temp);
        // The data must be on disk before the rename makes it the file.
        if (::fsync(out.fd) != 0) ThrowErrno("cannot flush", temp);
        const int fd = out.fd;
        out.fd = -1;
        if (::close(fd) != 0) ThrowErrno("cannot write", temp);
        fs::rename(temp, target);
        SyncFolderOf(target);
    } catch (...) {
        fs::remove(temp, ignored);
        throw;
    }
}

} // namespace

fs::path TempPathFor(const fs::path& target) {
    fs::path t = target;
    t += std::string(kTempMarker) + std::to_string(::getpid());
    return t;
}

void WriteFileAtomically(const fs::path& target, std::string_view bytes) {
    Replace(target, [&](int fd, const fs::path& temp) { WriteAll(fd, bytes.data(), bytes.size(), temp); });
}

void CopyFileAtomically(const fs::path& from, const fs::path& to, const std::atomic<bool>* stop) {
    Fd in{::open(from.c_str(), O_RDONLY | O_CLOEXEC)};
    if (in.fd < 0) ThrowErrno("cannot open", from);
    Replace(to, [&](int fd, const fs::path& temp) {
        char buf[64 * 1024];
        for (;;) {
            if (stop != nullptr && *stop)
                throw fs::filesystem_error("stopped", from, to, std::make_error_code(std::errc::operation_canceled));
            const ssize_t n = ::read(in.fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) ThrowErrno("cannot read", from);
            if (n == 0) break;
            WriteAll(fd, buf, static_cast<std::size_t>(n), temp);
        }
    });
}

void CommitFile(const fs::path& temp, const fs::path& target) {
    if (!fs::is_regular_file(fs::symlink_status(temp)))
        throw fs::filesystem_error("not a file of ours", temp, std::make_error_code(std::errc::invalid_argument));
    if (!SyncToDisk(temp)) ThrowErrno("cannot flush", temp);
    fs::rename(temp, target);
    SyncFolderOf(target);
}

bool SyncToDisk(const fs::path& path) {
    // Read-only is enough: fsync flushes what the file or folder holds, whoever wrote it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

bool SyncFolderOf(const fs::path& file) {
    return SyncToDisk(file.has_parent_path() ? file.parent_path() : fs::path("."));
}

} // namespace tolbe
