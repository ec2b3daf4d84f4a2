#include "common/ProgramPaths.h"

#include "common/Product.h"

#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <vector>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef TOLBE_SHIPPED_FROM_BIN
#define TOLBE_SHIPPED_FROM_BIN "../share/tolbe"
#endif

namespace tolbe {

namespace {

// An absolute folder from the environment, or nothing.
std::filesystem::path FromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value != '/') return {};
    return value;
}

std::filesystem::path HomeFolder() {
    if (auto home = FromEnvironment("HOME"); !home.empty()) return home;
    // Without $HOME the account's own entry still names the home folder; a shared folder such as
    // /tmp never stands in for it.
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(static_cast<std::size_t>(size > 0 ? size : 16384));
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
        found->pw_dir == nullptr || found->pw_dir[0] != '/')
        return {};
    return found->pw_dir;
}

std::filesystem::path StateFolder() {
    auto root = FromEnvironment("XDG_STATE_HOME");
    if (root.empty()) {
        const auto home = HomeFolder();
        if (home.empty()) return {};
        root = home / ".local" / "state";
    }
    return root / kProductName;
}

} // namespace

ProgramPaths ProgramPaths::Installed(std::filesystem::path shipped_dir, std::filesystem::path user_dir) {
    return ProgramPaths(std::move(shipped_dir), std::move(user_dir), true);
}

std::filesystem::path ProgramPaths::UserDataFolder() {
    if (auto xdg = FromEnvironment("XDG_DATA_HOME"); !xdg.empty()) return xdg / kProductName;
    const auto home = HomeFolder();
    return home.empty() ? home : home / ".local" / "share" / kProductName;
}

ProgramPaths ProgramPaths::ForRunningProgram() {
    if (const char* dir = std::getenv("TOLBE_PROGRAM_DIR"); dir != nullptr && *dir != '\0') return ProgramPaths(dir);
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return ProgramPaths(std::filesystem::current_path(ec));
    const auto exe_dir = exe.parent_path();
    // A build tree never has this folder beside its program folder; an installation always does.
    const auto shipped = (exe_dir / TOLBE_SHIPPED_FROM_BIN).lexically_normal();
    if (std::filesystem::is_directory(shipped, ec)) {
        // Without any home folder the program runs on the shipped files alone; nothing shared
        // such as /tmp stands in for the user's folder.
        const auto user = UserDataFolder();
        return Installed(shipped, user.empty() ? shipped : user);
    }
    return ProgramPaths(exe_dir);
}

std::filesystem::path ProgramPaths::Database() const {
    auto own = WritableDatabase();
    if (!m_installed) return own;
    std::error_code ec;
    return std::filesystem::exists(own, ec) ? own : ShippedDatabase();
}

Status ProgramPaths::PrepareUserData() const {
    if (!m_installed) return Ok();
    std::error_code ec;
    std::filesystem::create_directories(UpdateFolder(), ec);
    if (!ec && std::filesystem::exists(DefaultServerIni(), ec) && !std::filesystem::exists(ServerIni(), ec)) {
        std::filesystem::copy_file(DefaultServerIni(), ServerIni(), ec);
        // The copy belongs to the user, whatever the shipped file's mode.
        if (!ec)
            std::filesystem::permissions(ServerIni(),
                                         std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::add, ec);
    }
    if (ec) return Fail(ec.message() + ": " + UpdateFolder().string());
    return Ok();
}

std::filesystem::path ProgramPaths::MixerLevelsFile() {
    const auto folder = StateFolder();
    return folder.empty() ? folder : folder / "mixer-levels";
}

std::filesystem::path ProgramPaths::CheckedDatabasesFile() {
    const auto folder = StateFolder();
    return folder.empty() ? folder : folder / "checked-databases";
}

std::filesystem::path ProgramPaths::RuntimeFolder() {
    // Only a runtime folder that is the user's own and closed to others can hold the one-copy
    // lock; otherwise the state folder, then a private folder under /tmp, whichever can be made
    // the user's own. The choice depends only on the environment, so every copy agrees.
    if (auto runtime = FromEnvironment("XDG_RUNTIME_DIR"); !runtime.empty()) {
        struct stat st {};
        if (::lstat(runtime.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
            (st.st_mode & 077) == 0 && MakePrivateFolder(runtime / kProductName))
            return runtime / kProductName;
    }
    if (const auto state = StateFolder(); !state.empty() && MakePrivateFolder(state)) return state;
    // A fixed name, so every copy finds the same one; a folder of that name made by someone else
    // is refused by the one-copy guard, never used.
    const auto tmp = FromEnvironment("TMPDIR");
    return (tmp.empty() ? std::filesystem::path("/tmp") : tmp) / ("tolbe-" + std::to_string(::getuid()));
}

std::filesystem::path UserHomeFolder() {
    return HomeFolder();
}

bool MakePrivateFolder(const std::filesystem::path& dir) {
    if (dir.empty() || !dir.is_absolute()) return false;
    std::error_code ec;
    if (dir.has_parent_path() && dir.parent_path() != dir && !std::filesystem::exists(dir.parent_path(), ec))
        if (!MakePrivateFolder(dir.parent_path())) return false;
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) return false;
    if ((st.st_mode & 0777) != 0700 && ::chmod(dir.c_str(), 0700) != 0) return false;
    return true;
}

} // namespace tolbe
