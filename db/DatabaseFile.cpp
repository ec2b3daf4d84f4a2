#include "db/DatabaseFile.h"

#include "common/AtomicFile.h"
#include "common/HexText.h"
#include "db/Schema.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <sys/stat.h>
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

std::filesystem::path ChosenDatabasePath(const SettingsStore& settings) {
    return settings.GetSetting(kSettingsApp, kSettingsSection, settings_key::kDatabasePath, "");
}

std::filesystem::path DatabaseUpdateTarget(const SettingsStore& settings, const ProgramPaths& paths) {
    const std::filesystem::path chosen = ChosenDatabasePath(settings);
    return chosen.empty() ? paths.WritableDatabase() : chosen;
}

bool CanReplaceDatabase(const std::filesystem::path& target, std::string* why) {
    namespace fs = std::filesystem;
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::error_code ec;
    // The program's own folder may not exist yet: the swap makes it.
    if (!fs::exists(folder, ec)) return true;
    if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
        if (why != nullptr) *why = "the folder " + folder.string() + " cannot be written";
        return false;
    }
    if (fs::exists(fs::symlink_status(target, ec)) && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
        if (why != nullptr) *why = "the file " + target.string() + " is read-only";
        return false;
    }
    return true;
}

bool SwapInDeliveredDatabase(const ProgramPaths& paths, const std::string& key, const std::filesystem::path& target) {
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
    // Only a code database that opens with the program's key may replace the user's.
    if (!VerifyDatabaseFile(U.string(), key)) return false;

    fs::create_directories(paths.DatabaseFolder());
    if (D.has_parent_path()) fs::create_directories(D.parent_path());
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

namespace {

// Column names of each required table, as the shipped schema defines them.
const std::map<std::string, std::vector<std::string>>& ExpectedColumns() {
    static const auto columns = [] {
        std::map<std::string, std::vector<std::string>> out;
        sqlite3* mem = nullptr;
        if (sqlite3_open_v2(":memory:", &mem, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
            sqlite3_exec(mem, std::string(CodeDatabaseSchema()).c_str(), nullptr, nullptr, nullptr) == SQLITE_OK) {
            for (const auto& t : RequiredTables()) {
                sqlite3_stmt* st = nullptr;
                if (sqlite3_prepare_v2(mem, ("PRAGMA table_info(\"" + t + "\")").c_str(), -1, &st, nullptr) !=
                    SQLITE_OK)
                    continue;
                while (sqlite3_step(st) == SQLITE_ROW)
                    out[t].emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
                sqlite3_finalize(st);
            }
        }
        sqlite3_close(mem);
        return out;
    }();
    return columns;
}

} // namespace

bool VerifyDatabaseFile(const std::string& file, const std::string& key, std::string* why) {
    auto fail = [&](const std::string& reason) {
        if (why != nullptr) *why = reason;
        return false;
    };
    DbConnection conn;
    if (!conn.OpenDatabase(file, key, true)) return fail("the file does not open with the program's key");
    try {
        // The schema first, from the catalogue alone: nothing the file defines runs before it is
        // known to be plain tables and indexes.
        const DbRecordset objects =
            conn.OpenRecordset("select type, name, coalesce(sql, '') from sqlite_master", false);
        for (int r = 0; r < objects.RecordCount(); ++r) {
            const std::string type = objects.ValueAt(r, 0).Text();
            const std::string name = objects.ValueAt(r, 1).Text();
            if (type == "view" || type == "trigger") return fail("the database holds the " + type + " " + name);
            if (type == "table" && sqlite3_strnicmp(objects.ValueAt(r, 2).Text().c_str(), "create virtual", 14) == 0)
                return fail("the database holds the virtual table " + name);
        }
        for (const auto& t : RequiredTables()) {
            const DbRecordset rs = conn.OpenRecordset(
                "select count(*) from sqlite_master where type='table' and name='" + t + "' collate nocase", false);
            if (rs.ValueAt(0, 0).ToInt32() < 1) return fail("table " + t + " is missing");
            const DbRecordset info = conn.OpenRecordset("PRAGMA table_info(\"" + t + "\")", false);
            const auto found = ExpectedColumns().find(t);
            if (found == ExpectedColumns().end()) return fail("the program's own schema cannot be read");
            const auto& expected = found->second;
            if (info.RecordCount() < static_cast<int>(expected.size()))
                return fail("table " + t + " lacks columns the program reads");
            for (std::size_t c = 0; c < expected.size(); ++c)
                if (sqlite3_stricmp(info.ValueAt(static_cast<int>(c), 1).Text().c_str(), expected[c].c_str()) != 0)
                    return fail("table " + t + " has " + info.ValueAt(static_cast<int>(c), 1).Text() + " where " +
                                expected[c] + " belongs");
        }
        const DbRecordset ic = conn.OpenRecordset("PRAGMA integrity_check", false);
        if (ic.RecordCount() < 1 || ic.ValueAt(0, 0).Text() != "ok")
            return fail("integrity check failed: " + (ic.RecordCount() > 0 ? ic.ValueAt(0, 0).Text() : ""));
    } catch (const DbError& e) {
        return fail(e.what());
    }
    return true;
}

bool OpenCodeDatabase(DbConnection& conn, const std::string& file, const std::string& key, std::string* why) {
    if (!VerifyDatabaseFile(file, key, why)) return false;
    if (!conn.OpenDatabase(file, key, true)) {
        if (why != nullptr) *why = "the file does not open with the program's key";
        return false;
    }
    return true;
}

} // namespace tolbe::db
