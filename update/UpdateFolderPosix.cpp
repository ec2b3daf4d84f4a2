#include "update/UpdateFolder.h"

#include "update/Descriptor.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace tolbe::update {
namespace {

namespace fs = std::filesystem;

struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

HashReader ReaderOf(int in) {
    return [in](char* buf, std::size_t size, std::string& why) -> long long {
        for (;;) {
            const ssize_t n = ::read(in, buf, size);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) why = std::strerror(errno);
            return n;
        }
    };
}

} // namespace

UpdateFolderLock::UpdateFolderLock(const fs::path& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    // The folder is the user's alone: under umask 022 it would be 0755, and anyone could lock it.
    // Only the others' bits go; what the owner allows stays as it is.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (dir < 0 || ::fstat(dir, &st) != 0 || st.st_uid != ::geteuid() || ::fchmod(dir, st.st_mode & 0700) != 0) {
        m_why = "the update folder " + folder.string() + " is not a private folder of this user's";
        if (dir >= 0) ::close(dir);
        return;
    }
    const int fd = ::openat(dir, kLockFileName, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    ::close(dir);
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
        ::fchmod(fd, 0600) != 0) {
        m_why = "the update lock " + (folder / kLockFileName).string() + " cannot be opened";
        if (fd >= 0) ::close(fd);
        return;
    }
    int rc = -1;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        m_busy = errno == EWOULDBLOCK;
        m_why = m_busy ? "another update check of this user is running"
                       : std::string("cannot lock: ") + std::strerror(errno);
        ::close(fd);
        return;
    }
    m_fd = fd;
}

UpdateFolderLock::~UpdateFolderLock() {
    if (m_fd >= 0) ::close(m_fd);
}

Result<std::string> FileSha256(const fs::path& file, std::stop_token stop) {
    Fd in{::open(file.c_str(), O_RDONLY | O_CLOEXEC)};
    if (in.fd < 0) return Result<std::string>::Fail(file.string() + ": " + std::strerror(errno));
    return HashStream(ReaderOf(in.fd), std::move(stop), {});
}

bool ProcessAlive(long long pid) {
    return pid <= INT32_MAX && (pid == ::getpid() || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

Status StartDetached(const fs::path& program) {
    const auto fail = [](std::string reason) { return Fail(std::move(reason)); };
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(program, ec))) return fail(program.string() + " does not exist");
    // A fetched file arrives without execute permission.
    fs::permissions(program, fs::perms::owner_exec, fs::perm_options::add, ec);
    if (ec) return fail("cannot make " + program.string() + " executable: " + ec.message());

    posix_spawnattr_t attr;
    if (posix_spawnattr_init(&attr) != 0) return fail("cannot prepare a new process");
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    std::string path = program.string();
    char* argv[] = {path.data(), nullptr};
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, path.c_str(), nullptr, &attr, argv, environ);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) return fail("cannot start " + path + ": " + std::strerror(rc));
    return Ok();
}

Result<fs::path> PrivateCopyMatching(const fs::path& file, const std::string& expected_sha256, const fs::path& parent,
                                     std::stop_token stop) {
    using R = Result<fs::path>;
    Fd in{::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC)};
    if (in.fd < 0) return R::Fail(file.string() + ": " + std::strerror(errno));
    struct stat st {};
    if (::fstat(in.fd, &st) != 0 || !S_ISREG(st.st_mode)) return R::Fail(file.string() + " is not a plain file");
    if (!MakePrivateFolder(parent)) return R::Fail("cannot make the private folder " + parent.string());
    std::string dir_template = (parent / "setup-XXXXXX").string();
    if (::mkdtemp(dir_template.data()) == nullptr) return R::Fail("cannot make a folder under " + parent.string());
    const fs::path dir = dir_template;
    const fs::path copy = dir / file.filename();
    auto discard = [&](const std::string& why) {
        std::error_code ec;
        fs::remove_all(dir, ec);
        return R::Fail(why);
    };
    Fd out{::open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0700)};
    if (out.fd < 0) return discard("cannot create " + copy.string());
    const auto hash = HashStream(ReaderOf(in.fd), std::move(stop), [&](const char* data, std::size_t n) {
        return ::write(out.fd, data, n) == static_cast<ssize_t>(n);
    });
    bool ok = ::fsync(out.fd) == 0;
    ok = ::close(out.fd) == 0 && ok;
    out.fd = -1;
    if (!hash) return discard(hash.Error());
    if (!ok) return discard("cannot write " + copy.string());
    if (*hash != NormalisedSha256(expected_sha256))
        return discard(file.string() + " is not the setup program the descriptor announced");
    return R::Ok(copy);
}

} // namespace tolbe::update
