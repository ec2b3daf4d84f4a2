#include "common/ProgramPaths.h"

// What every platform shares; where the user's folders are is the platform's
// (ProgramPathsPosix.cpp, win/ProgramPathsWin.cpp).
namespace tolbe {

ProgramPaths ProgramPaths::Installed(std::filesystem::path shipped_dir, std::filesystem::path user_dir) {
    return ProgramPaths(std::move(shipped_dir), std::move(user_dir), true);
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

} // namespace tolbe
