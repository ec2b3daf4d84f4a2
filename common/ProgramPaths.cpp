#include "common/ProgramPaths.h"

#include <cstdlib>
#include <pwd.h>
#include <system_error>
#include <unistd.h>

#ifndef TOLBE_SHIPPED_FROM_BIN
#define TOLBE_SHIPPED_FROM_BIN "../share/tolbe"
#endif

namespace tolbe {

ProgramPaths ProgramPaths::Installed(std::filesystem::path shipped_dir, std::filesystem::path user_dir) {
    return ProgramPaths(std::move(shipped_dir), std::move(user_dir), true);
}

std::filesystem::path ProgramPaths::UserDataFolder() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/')
        return std::filesystem::path(xdg) / "Tolbe";
    std::filesystem::path home;
    if (const char* h = std::getenv("HOME"); h != nullptr && *h == '/')
        home = h;
    else if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr)
        home = pw->pw_dir;
    else
        home = std::filesystem::temp_directory_path();
    return home / ".local" / "share" / "Tolbe";
}

ProgramPaths ProgramPaths::ForRunningProgram() {
    if (const char* dir = std::getenv("TOLBE_PROGRAM_DIR"); dir != nullptr && *dir != '\0') return ProgramPaths(dir);
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return ProgramPaths(std::filesystem::current_path(ec));
    const auto exe_dir = exe.parent_path();
    // A build tree never has this folder beside its program folder; an installation always does.
    const auto shipped = (exe_dir / TOLBE_SHIPPED_FROM_BIN).lexically_normal();
    if (std::filesystem::is_directory(shipped, ec)) return Installed(shipped, UserDataFolder());
    return ProgramPaths(exe_dir);
}

std::filesystem::path ProgramPaths::Database() const {
    auto own = WritableDatabase();
    if (!m_installed) return own;
    std::error_code ec;
    return std::filesystem::exists(own, ec) ? own : ShippedDatabase();
}

bool ProgramPaths::PrepareUserData(std::string* why) const {
    if (!m_installed) return true;
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
    if (ec && why != nullptr) *why = ec.message() + ": " + UpdateFolder().string();
    return !ec;
}

} // namespace tolbe
