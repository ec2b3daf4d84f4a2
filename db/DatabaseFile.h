#pragma once

#include "common/ProgramPaths.h"
#include "common/Result.h"
#include "common/SettingsStore.h"
#include "db/Database.h"
#include "db/DatabaseCheck.h"

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

// The file an update replaces: the one "DatabasePath" names, else Database/IR_Database.db3 in
// the writable folder.
std::filesystem::path DatabaseUpdateTarget(const SettingsStore& settings, const ProgramPaths& paths);
// The "DatabasePath" setting (empty when the program folder's database is used).
std::filesystem::path ChosenDatabasePath(const SettingsStore& settings);

// Done when `target` can be replaced by a rename in its folder; else what stops it.
Status CanReplaceDatabase(const std::filesystem::path& target) noexcept;

// Puts the delivered database Update/IR_Database.db3 in place of `chosen` (the "DatabasePath"
// setting; when empty, Database/IR_Database.db3 in the writable folder), keeping the previous file (the database in
// use, which may be the shipped one) as Database/IR_Database.db3.bak. The new file is written next to its target and
// renamed into place, so at every instant either the old or the new database is complete at its path. Returns false,
// changing nothing, when the delivered file is missing or is not a sound database opening with `key`
// (VerifyDatabaseFile); throws std::filesystem::filesystem_error when a step fails or `stop` is set during the
// copies, the current database still in place.
bool SwapInDeliveredDatabase(const ProgramPaths& paths, const std::string& key,
                             const std::filesystem::path& chosen = {}, const std::atomic<bool>* stop = nullptr);

// Checks that `file` is a code database (CheckCodeDatabase) opening with `key`; throws DbError with
// the reason when it is not.
void VerifyDatabaseFile(const std::string& file, const std::string& key, const CheckOptions& options = {});
// The same for a caller that must not throw: done, or the reason.
Status TryVerifyDatabaseFile(const std::string& file, const std::string& key,
                             const CheckOptions& options = {}) noexcept;

// Opens `file` on `conn` and checks that same connection; closed again, and DbError thrown with
// the reason, unless it is a code database. Every database the program uses comes in this way.
void OpenCodeDatabase(DbConnection& conn, const std::string& file, const std::string& key,
                      const CheckOptions& options = {});
// The same for a caller that must not throw: done, or the reason.
Status TryOpenCodeDatabase(DbConnection& conn, const std::string& file, const std::string& key,
                           const CheckOptions& options = {}) noexcept;

} // namespace tolbe::db
