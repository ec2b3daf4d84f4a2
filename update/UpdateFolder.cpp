#include "update/UpdateFolder.h"

#include "common/AtomicFile.h"
#include "common/Digest.h"
#include "common/HexText.h"
#include "update/Descriptor.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
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

// The setup program is written under a fixed name of its own until it is verified, so the
// leftover clean-up knows every temporary name the program uses.
constexpr const char* kSetupTempName = "setup";
constexpr std::size_t kPieceBytes = 64 * 1024;

struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

// Reads `in` to its end in pieces, hashing each and handing it to `sink`; the stop is looked at
// before every piece, so a stop ends a read of 512 MB within one piece.
Result<std::string> HashStream(int in, std::stop_token stop,
                               const std::function<bool(const char*, std::size_t)>& sink) {
    try {
        Sha256Stream hash;
        char buf[kPieceBytes];
        for (;;) {
            if (stop.stop_requested()) return Result<std::string>::Fail("stopped");
            const ssize_t n = ::read(in, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return Result<std::string>::Fail(std::string("cannot read: ") + std::strerror(errno));
            if (n == 0) break;
            hash.Add(BytesOf(std::string_view(buf, static_cast<std::size_t>(n))));
            if (sink && !sink(buf, static_cast<std::size_t>(n)))
                return Result<std::string>::Fail("cannot write the copy");
        }
        return Result<std::string>::Ok(ToHex(hash.Finish(), LetterCase::Lower));
    } catch (const std::runtime_error& e) {
        return Result<std::string>::Fail(std::string("cannot hash: ") + e.what()); // out of memory only
    }
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

bool RemoveIfPresent(const fs::path& file) {
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(file, ec))) return true;
    fs::remove(file, ec);
    return !fs::exists(fs::symlink_status(file, ec));
}

Result<std::string> ReadSmallFile(const fs::path& file, std::uint64_t max_bytes) {
    using R = Result<std::string>;
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(file, ec))) return R::Fail(file.string() + " is not a plain file");
    const auto size = fs::file_size(file, ec);
    if (ec) return R::Fail(file.string() + ": " + ec.message());
    if (size > max_bytes) return R::Fail(file.string() + " is larger than " + std::to_string(max_bytes) + " bytes");
    std::ifstream in(file, std::ios::binary);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (!in.read(bytes.data(), static_cast<std::streamsize>(size))) return R::Fail(file.string() + " cannot be read");
    return R::Ok(std::move(bytes));
}

Result<Done> Commit(const fs::path& temp, const fs::path& target) {
    try {
        CommitFile(temp, target);
        return Ok();
    } catch (const fs::filesystem_error& e) {
        return Result<Done>::Fail(e.what());
    }
}

fs::path SetupTempFile(const ProgramPaths& paths) {
    return TempPathFor(paths.UpdateFolder() / kSetupTempName);
}

void RemoveLeftovers(const ProgramPaths& paths) {
    const std::pair<fs::path, std::vector<std::string>> owned[] = {
        {paths.UpdateFolder(),
         {paths.UpdateDescriptor().filename().string(), paths.UpdateDescriptor().filename().string() + ".minisig",
          paths.UpdateDatabase().filename().string(), paths.SignedStamp().filename().string(), kSetupTempName}},
        {paths.DatabaseFolder(),
         {paths.WritableDatabase().filename().string(), paths.DatabaseBackup().filename().string()}},
    };
    for (const auto& [folder, names] : owned) {
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string name = it->path().filename().string();
            for (const std::string& own : names) {
                const long long pid = TempPathOwner(name, own);
                if (pid == 0) continue;
                const bool alive = pid > INT32_MAX
                                       ? false
                                       : pid == ::getpid() || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
                if (!alive) RemoveIfPresent(it->path());
            }
        }
    }
}

Result<std::string> FileSha256(const fs::path& file, std::stop_token stop) {
    Fd in{::open(file.c_str(), O_RDONLY | O_CLOEXEC)};
    if (in.fd < 0) return Result<std::string>::Fail(file.string() + ": " + std::strerror(errno));
    return HashStream(in.fd, std::move(stop), {});
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
    const auto hash = HashStream(in.fd, std::move(stop), [&](const char* data, std::size_t n) {
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
