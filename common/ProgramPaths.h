#pragma once

#include "common/Result.h"

#include <filesystem>
#include <string>

namespace tolbe {

// The one place that knows where program data lives. Two layouts:
// - program folder (the build tree, tests, --program-dir): every file is the program folder
//   followed by a relative path, shipped and written files alike;
// - installed (bin/ beside share/tolbe/): the shipped files are read from share/tolbe/, which may
//   be read-only, and everything the program writes lives in the user's folder
//   $XDG_DATA_HOME/Tolbe (default ~/.local/share/Tolbe). The shipped code database is used until
//   the first database update puts the user's own copy in place.
class ProgramPaths {
public:
    explicit ProgramPaths(std::filesystem::path program_dir) : m_shipped(program_dir), m_dir(std::move(program_dir)) {}

    // Installed layout: shipped files from `shipped_dir`, written ones under `user_dir`.
    static ProgramPaths Installed(std::filesystem::path shipped_dir, std::filesystem::path user_dir);

    // $TOLBE_PROGRAM_DIR when set (tests, tools); the installed layout when the executable's
    // folder has the installed data folder beside it; otherwise the executable's folder.
    static ProgramPaths ForRunningProgram();

    // $XDG_DATA_HOME/Tolbe, or ~/.local/share/Tolbe when that is unset or not absolute.
    static std::filesystem::path UserDataFolder();

    bool IsInstalled() const { return m_installed; }
    // Where the program writes: the program folder, or the user's folder when installed.
    const std::filesystem::path& Dir() const { return m_dir; }
    // Where the shipped files are read from: the program folder, or share/tolbe when installed.
    const std::filesystem::path& ShippedDir() const { return m_shipped; }

    std::filesystem::path Styles() const { return m_shipped / "Styles"; }
    std::filesystem::path StyleSheet() const { return m_shipped / "Styles" / "tolbe.qss"; }
    std::filesystem::path AnimatedPicture() const { return m_shipped / "Styles" / "a1.gif"; }
    std::filesystem::path DatabaseFolder() const { return m_dir / "Database"; }
    // The code database in use: the writable one, or the shipped one while an installed
    // program's user has none yet.
    std::filesystem::path Database() const;
    // Where an update puts the database (the same file as Database() in a program folder).
    std::filesystem::path WritableDatabase() const { return m_dir / "Database" / "IR_Database.db3"; }
    std::filesystem::path ShippedDatabase() const { return m_shipped / "Database" / "IR_Database.db3"; }
    std::filesystem::path DatabaseBackup() const { return m_dir / "Database" / "IR_Database.db3.bak"; }
    std::filesystem::path UpdateFolder() const { return m_dir / "Update"; }
    std::filesystem::path UpdateDatabase() const { return m_dir / "Update" / "IR_Database.db3"; }
    std::filesystem::path ServerIni() const { return m_dir / "Update" / "Server.ini"; }
    // The Server.ini an installation ships, copied to the user's Update folder.
    std::filesystem::path DefaultServerIni() const { return m_shipped / "Update" / "Server.ini"; }
    std::filesystem::path UpdateDescriptor() const { return m_dir / "Update" / "Update.txt"; }
    // The signing time of the newest descriptor accepted, so an older one cannot be replayed.
    std::filesystem::path SignedStamp() const { return m_dir / "Update" / "LastSigned.txt"; }
    // What this computer last wrote into each slot of the remote, and what the user said of it.
    std::filesystem::path RemoteRecordFile() const { return m_dir / "Remote.ini"; }

    // Per-user places, the same for every program folder; empty when the user has no home folder.
    // Mixer levels waiting to be restored: $XDG_STATE_HOME/Tolbe/mixer-levels.
    static std::filesystem::path MixerLevelsFile();
    // Code database files that passed the full check: $XDG_STATE_HOME/Tolbe/checked-databases.
    static std::filesystem::path CheckedDatabasesFile();
    // Where the running copy can be reached: $XDG_RUNTIME_DIR/Tolbe, else the state folder above,
    // else tolbe-<uid> in $TMPDIR or /tmp (which the guard refuses when it is not the user's own).
    static std::filesystem::path RuntimeFolder();
    // Installed: creates the user's Update folder and copies the shipped Server.ini there when the
    // user has none. A program folder is left as it is. When a step fails the program still runs
    // on the shipped files.
    Status PrepareUserData() const;

private:
    ProgramPaths(std::filesystem::path shipped, std::filesystem::path dir, bool installed)
        : m_shipped(std::move(shipped)), m_dir(std::move(dir)), m_installed(installed) {}

    std::filesystem::path m_shipped;
    std::filesystem::path m_dir;
    bool m_installed = false;
};

// The user's home folder: $HOME, else the account's own entry; empty when there is none. A shared
// folder such as /tmp never stands in for it.
std::filesystem::path UserHomeFolder();

// Makes `dir` (and missing parents) readable by its owner only (mode 0700). False when it cannot,
// or when it is not a real folder of this user, whom nobody else may then trust it to belong to.
bool MakePrivateFolder(const std::filesystem::path& dir);

} // namespace tolbe
