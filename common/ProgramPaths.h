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

private:
    std::filesystem::path m_dir;
};

} // namespace tolbe
