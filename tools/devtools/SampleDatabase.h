#pragma once

#include "db/Database.h"
#include "db/Schema.h"

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

// Developer tooling, not part of the program: the sample code database's deterministic generator,
// and a dump to SQL text and an import of it for maintaining database files. Linked by tolbe-cli,
// the tests and the benchmarks.
namespace tolbe::devtools {

struct SampleOptions {
    int code_sets = 3000;     // rows of M_SetOfCodes
    std::uint64_t seed = 1;   // same seed and sizes, same content
    int sources = 0;          // code sources shared by the code sets; 0: two thirds of code_sets
    int codes_per_source = 0; // average M_CodeLink rows per source; 0: varied so that the code
                              // records span every block count and some are too long
    std::int16_t version = 1; // the M_Version row
    bool overwrite = false;   // replace an existing file at the output path
    std::string key;          // empty: the program's key (BuildDatabaseKey)
};

// The benchmark database: 200,000 code sets over 20,000 sources of about 40 codes each.
SampleOptions LargeBenchmarkOptions();

// Writes a keyed code database with all seven tables to `out_path`. The file appears only when
// complete (it is built beside the target and renamed), so a failure leaves nothing new behind.
// Throws DbError when the options are out of range, when the file exists and opt.overwrite is
// false, or when writing fails.
void GenerateSampleDatabase(const std::string& out_path, const SampleOptions& opt);

// Writes the whole database as SQL text: the CREATE statements of sqlite_master, then one INSERT
// per row in stored order, then indexes, views and triggers, in one transaction. Texts, NULLs,
// whole and real numbers and blobs are written so that they read back unchanged. Throws DbError.
void ExportDatabaseSql(const db::DbConnection& conn, std::ostream& out);

// Why an SQL text cannot be imported as it stands, or nothing when it may be run. It must be plain
// text (SQLite would stop at a NUL byte and silently drop the rest) and end with a complete
// statement: a text cut short inside its last statement could still run as another statement,
// a DELETE or UPDATE without its WHERE, say.
std::optional<std::string> CheckImportSqlText(const std::string& sql);

// Runs `sql` into a new keyed database at `out_path` (empty key: the program's). The text is
// checked first (CheckImportSqlText) and runs confined to the new database
// (DbConnection::ExecuteConfinedSql). The file appears only when every statement succeeded and
// it opens with the key; otherwise nothing is left behind and DbError carries the refusal or
// SQLite's message. Refuses (DbError) an existing file unless `overwrite`.
void ImportDatabaseSql(const std::string& sql, const std::string& out_path, bool overwrite,
                       const std::string& key = {});

} // namespace tolbe::devtools
