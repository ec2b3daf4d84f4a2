#include "db/DatabaseFile.h"

#include "common/AtomicFile.h"
#include "common/HexText.h"
#include "common/PathText.h"
#include "db/DatabaseCheck.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace tolbe::db {
namespace {

// The key is not stored as such: 23 byte values, each combined with kKeyMask.
constexpr const char* kKeyDigits = "0E3536383F7913083E3874113F2375686A686A7B2C6822";
constexpr unsigned char kKeyMask = 0x5A;

} // namespace

std::string BuildDatabaseKey() {
    const std::vector<std::uint8_t> bytes = ParseHex(kKeyDigits).value_or(std::vector<std::uint8_t>{});
    std::string key;
    for (const std::uint8_t byte : bytes)
        key += static_cast<char>(byte ^ kKeyMask);
    return key;
}

DatabaseLocation CheckDatabase(const SettingsStore& settings, const ProgramPaths& paths) {
    DatabaseLocation loc;
    loc.DBKey = BuildDatabaseKey();
    loc.DBPath = settings.GetSetting(kSettingsApp, kSettingsSection, settings_key::kDatabasePath, "");
    if (loc.DBPath.empty()) loc.DBPath = paths.Database().string();
    // Hidden files are ordinary files here, read-only ones too: existence is all that counts.
    std::error_code ec;
    const std::filesystem::path file = PathFromUtf8(loc.DBPath);
    loc.exists = std::filesystem::exists(file, ec) && !std::filesystem::is_directory(file, ec);
    return loc;
}

std::vector<std::string> ReadDeviceTypes(const DbConnection& conn) {
    const DbRecordset rs = conn.OpenRecordset("Select * From M_DeviceTypes", false);
    std::vector<std::string> names;
    for (int r = 0; r < rs.RecordCount(); ++r)
        names.push_back(rs.ValueAt(r, 1).Text());
    return names;
}

std::filesystem::path ChosenDatabasePath(const SettingsStore& settings) {
    return PathFromUtf8(settings.GetSetting(kSettingsApp, kSettingsSection, settings_key::kDatabasePath, ""));
}

std::filesystem::path DatabaseUpdateTarget(const SettingsStore& settings, const ProgramPaths& paths) {
    const std::filesystem::path chosen = ChosenDatabasePath(settings);
    return chosen.empty() ? paths.WritableDatabase() : chosen;
}

bool SwapInDeliveredDatabase(const ProgramPaths& paths, const std::string& key, const std::filesystem::path& target,
                             const std::atomic<bool>* stop) {
    // `target` is the "DatabasePath" setting.
    namespace fs = std::filesystem;
    // An installed program's user may still be on the shipped file: that one is backed up, and
    // the new database goes to the user's own folder. A database chosen with "DatabasePath" is
    // both the one in use and the one replaced.
    const fs::path D = target.empty() ? paths.WritableDatabase() : target;
    const fs::path current = target.empty() ? paths.Database() : target;
    const fs::path B = paths.DatabaseBackup();
    const fs::path U = paths.UpdateDatabase();
    std::error_code ec;
    // Without a delivered file the swap would only lose the current database.
    if (!fs::is_regular_file(fs::symlink_status(U, ec))) return false;
    // Only a code database that opens with the program's key may replace the user's. The update
    // has just checked this very file, so the list of checked files spares the second reading.
    const CheckedFiles checked(ProgramPaths::CheckedDatabasesFile());
    if (!TryVerifyDatabaseFile(U.string(), key, CheckOptions{ProgramPaths::CheckedDatabasesFile(), stop})) return false;
    const std::optional<FileStamp> delivered = StampOf(U);

    fs::create_directories(paths.DatabaseFolder());
    if (D.has_parent_path()) fs::create_directories(D.parent_path());
    if (fs::is_regular_file(current, ec)) {
        // Keep the current file in place while the backup is written, so it is never missing.
        CopyFileAtomically(current, B, stop);
    }
    CopyFileAtomically(U, D, stop);
    // The copy is the checked file byte for byte (same size, same first and last pages, read from
    // the locked update folder): opening it needs no second full check.
    const std::optional<FileStamp> copied = StampOf(D);
    if (delivered && copied && copied->size == delivered->size && copied->pages == delivered->pages &&
        OnlyThisUserCanReplace(D))
        checked.Remember(*copied);
    return true;
}

void VerifyDatabaseFile(const std::string& file, const std::string& key, const CheckOptions& options) {
    DbConnection conn;
    OpenCodeDatabase(conn, file, key, options);
}

Status TryVerifyDatabaseFile(const std::string& file, const std::string& key, const CheckOptions& options) noexcept {
    DbConnection conn;
    return TryOpenCodeDatabase(conn, file, key, options);
}

void OpenCodeDatabase(DbConnection& conn, const std::string& file, const std::string& key,
                      const CheckOptions& options) {
    // One open, and the check runs on it: the file checked is the file then read, whatever
    // happens to the name meanwhile.
    if (!conn.OpenDatabase(file, key, true)) throw DbError("the file does not open with the program's key");
    std::string problem = CheckCodeDatabase(conn, options);
    if (problem.empty()) return;
    conn.Close();
    throw DbError(problem);
}

Status TryOpenCodeDatabase(DbConnection& conn, const std::string& file, const std::string& key,
                           const CheckOptions& options) noexcept {
    try {
        OpenCodeDatabase(conn, file, key, options);
        return Ok();
    } catch (const std::exception& e) {
        // Out of memory while checking a hostile file is as much a refusal of it as a bad page.
        conn.Close();
        return Fail(e.what());
    }
}

} // namespace tolbe::db
