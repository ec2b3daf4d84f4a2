#pragma once

#include "common/ProgramPaths.h"
#include "common/SettingsStore.h"
#include "db/Database.h"

#include <string>
#include <vector>

namespace tolbe::db {

// The 23-character database key, rebuilt from its stored form on every call.
std::string BuildDatabaseKey();

struct DatabaseLocation {
    std::string DBPath;
    std::string DBKey;
    bool exists = false;
};

// Builds the key, takes "DatabasePath" from the settings (or the program folder's default
// file) and tells whether a file is there; hidden and read-only files count. Opens nothing.
DatabaseLocation CheckDatabase(const SettingsStore& settings, const ProgramPaths& paths);

// Device-type names in the table's stored order (second column of M_DeviceTypes).
std::vector<std::string> ReadDeviceTypes(const DbConnection& conn);

// Puts the delivered database Update/IR_Database.db3 in place of Database/IR_Database.db3,
// keeping the previous file (the database in use, which may be the shipped one) as
// Database/IR_Database.db3.bak. Paths come from ProgramPaths whatever "DatabasePath" says. The
// new file is written next to its target and renamed into place, so at every instant either the
// old or the new database is complete at its path.
// Returns false, changing nothing, when the delivered file is missing or is not a sound database
// opening with `key` (VerifyDatabaseFile); throws std::filesystem::filesystem_error when a step
// fails, the current database still in place.
bool SwapInDeliveredDatabase(const ProgramPaths& paths, const std::string& key);

// Copies `from` to `to` through a temporary file in `to`'s folder and a rename.
void CopyFileAtomically(const std::filesystem::path& from, const std::filesystem::path& to);

// True when `file` opens with `key`, passes SQLite's integrity check and holds every table
// the program reads. `why` receives the reason when it does not.
bool VerifyDatabaseFile(const std::string& file, const std::string& key, std::string* why = nullptr);

// Tables the program reads.
const std::vector<std::string>& RequiredTables();

} // namespace tolbe::db
