#include "db/DatabaseFile.h"

#include "common/HexText.h"
#include "common/SyncToDisk.h"

#include <fcntl.h>
#include <fstream>
#include <unistd.h>

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
    loc.exists = std::filesystem::exists(loc.DBPath, ec) && !std::filesystem::is_directory(loc.DBPath, ec);
    return loc;
}

std::vector<std::string> ReadDeviceTypes(const DbConnection& conn) {
    const DbRecordset rs = conn.OpenRecordset("Select * From M_DeviceTypes", false);
    std::vector<std::string> names;
    for (int r = 0; r < rs.RecordCount(); ++r)
        names.push_back(rs.ValueAt(r, 1).Text());
    return names;
}

void CopyFileAtomically(const std::filesystem::path& from, const std::filesystem::path& to) {
    auto tmp = to;
    tmp += ".part" + std::to_string(::getpid());
    std::error_code ignored;
    try {
        std::filesystem::copy_file(from, tmp, std::filesystem::copy_options::overwrite_existing);
        // The data must be on disk before the rename makes it the database.
        SyncToDisk(tmp);
        std::filesystem::rename(tmp, to);
        // The rename itself is on disk only once the folder is.
        SyncFolderOf(to);
    } catch (...) {
        std::filesystem::remove(tmp, ignored);
        throw;
    }
}

bool SwapInDeliveredDatabase(const ProgramPaths& paths, const std::string& key) {
    namespace fs = std::filesystem;
    // An installed program's user may still be on the shipped file: that one is backed up, and
    // the new database goes to the user's own folder.
    const fs::path current = paths.Database();
    const fs::path D = paths.WritableDatabase();
    const fs::path B = paths.DatabaseBackup();
    const fs::path U = paths.UpdateDatabase();
    std::error_code ec;
    // Without a delivered file the swap would only lose the current database.
    if (!fs::is_regular_file(U, ec)) return false;
    // Only a complete database that opens with the program's key may replace the user's.
    if (!VerifyDatabaseFile(U.string(), key)) return false;

    fs::create_directories(paths.DatabaseFolder());
    if (fs::is_regular_file(B, ec)) fs::remove(B);
    if (fs::is_regular_file(current, ec)) {
        // Keep the current file in place while the backup is written, so it is never missing.
        CopyFileAtomically(current, B);
    }
    CopyFileAtomically(U, D);
    return true;
}

const std::vector<std::string>& RequiredTables() {
    static const std::vector<std::string> tables = {"M_DeviceTypes", "M_SetOfCodes", "M_RCUInfo",
                                                    "M_RCUFuncKey",  "M_CodeLink",   "M_Protocol"};
    return tables;
}

bool VerifyDatabaseFile(const std::string& file, const std::string& key, std::string* why) {
    auto fail = [&](const std::string& reason) {
        if (why != nullptr) *why = reason;
        return false;
    };
    DbConnection conn;
    if (!conn.OpenDatabase(file, key, true)) return fail("the file does not open with the program's key");
    try {
        const DbRecordset ic = conn.OpenRecordset("PRAGMA integrity_check", false);
        if (ic.RecordCount() < 1 || ic.ValueAt(0, 0).Text() != "ok")
            return fail("integrity check failed: " + (ic.RecordCount() > 0 ? ic.ValueAt(0, 0).Text() : ""));
        for (const auto& t : RequiredTables()) {
            const DbRecordset rs =
                conn.OpenRecordset("select count(*) from sqlite_master where type='table' and name='" + t + "'", false);
            if (rs.ValueAt(0, 0).ToInt32() < 1) return fail("table " + t + " is missing");
        }
    } catch (const DbError& e) {
        return fail(e.what());
    }
    return true;
}

} // namespace tolbe::db
