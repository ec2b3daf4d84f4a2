#pragma once

#include "db/Database.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tolbe::db {

// The statement that creates M_Version, every line ending in CR LF and one more CR LF at the
// end; `date` goes into its "Created date" comment line. The comments stay in the stored
// table definition, so the text is part of the database format.
std::string VersionTableStatement(const std::string& date);

// Today's date as the user's short date text (strftime "%x" under the LC_TIME locale that the
// program set with setlocale), for example "24.02.2020" or "2020/2/24".
std::string TodayShortDate();

// The version recorded in the database at `DBPath`, reopening `DBConn` on it with `DBKey`.
// 0 when there is no connection or the file does not open. A database without M_Version gets
// the table with one row (version 1, `today` as its date) and answers 1. Throws DbError when a
// statement fails or the recorded version is not a 16-bit whole number.
std::int16_t Get_Database_Ver(DbConnection* DBConn, const std::string& DBPath, const std::string& DBKey,
                              const std::string& today);
std::int16_t Get_Database_Ver(DbConnection* DBConn, const std::string& DBPath, const std::string& DBKey);

// The version recorded in the open database, read without writing: nothing when it has no
// M_Version table or no row in it; throws DbError when the version is not a whole 16-bit number.
std::optional<std::int16_t> RecordedVersion(const DbConnection& conn);

// The version recorded in the database file `file`, read without changing the file: nothing
// when it does not open with `key`, has no M_Version table or no whole 16-bit version in it.
std::optional<std::int16_t> ReadRecordedVersion(const std::string& file, const std::string& key);

} // namespace tolbe::db
