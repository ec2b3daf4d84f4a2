#pragma once

#include <filesystem>

namespace tolbe {

// The one place that knows the program folder's layout. Every path is the program folder
// followed by a relative path.
class ProgramPaths {
public:
    explicit ProgramPaths(std::filesystem::path program_dir) : m_dir(std::move(program_dir)) {}

    // Folder of the running executable; $TOLBE_PROGRAM_DIR overrides it (tests, tools).
    static ProgramPaths ForRunningProgram();

    const std::filesystem::path& Dir() const { return m_dir; }
    std::filesystem::path Styles() const { return m_dir / "Styles"; }
    std::filesystem::path StyleSheet() const { return m_dir / "Styles" / "tolbe.qss"; }
    std::filesystem::path AnimatedPicture() const { return m_dir / "Styles" / "a1.gif"; }
    std::filesystem::path DatabaseFolder() const { return m_dir / "Database"; }
    std::filesystem::path Database() const { return m_dir / "Database" / "IR_Database.db3"; }
    std::filesystem::path DatabaseBackup() const { return m_dir / "Database" / "IR_Database.db3.bak"; }
    std::filesystem::path UpdateFolder() const { return m_dir / "Update"; }
    std::filesystem::path UpdateDatabase() const { return m_dir / "Update" / "IR_Database.db3"; }
    std::filesystem::path ServerIni() const { return m_dir / "Update" / "Server.ini"; }
    std::filesystem::path UpdateDescriptor() const { return m_dir / "Update" / "Update.txt"; }

    // Per-user places, the same for every program folder; empty when the user has no home folder.
    // Mixer levels waiting to be restored: $XDG_STATE_HOME/Tolbe/mixer-levels.
    static std::filesystem::path MixerLevelsFile();
    // Where the running copy can be reached: $XDG_RUNTIME_DIR/Tolbe, else the state folder above.
    static std::filesystem::path RuntimeFolder();

private:
    std::filesystem::path m_dir;
};

// Makes `dir` (and missing parents) readable by its owner only (mode 0700). False when it cannot,
// or when it is not a real folder of this user, whom nobody else may then trust it to belong to.
bool MakePrivateFolder(const std::filesystem::path& dir);

} // namespace tolbe
