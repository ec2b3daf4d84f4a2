// The checks `db import` makes on an SQL text before running any of it.
#include "tests/fuzz/FuzzSupport.h"

#include "db/DatabaseFile.h"
#include "tools/devtools/SampleDatabase.h"

#include <filesystem>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string sql(reinterpret_cast<const char*>(data), size);
    const auto refusal = tolbe::devtools::CheckImportSqlText(sql);
    // Text that reaches SQLite has no NUL for it to stop at, and a refusal says why.
    if (!refusal) FUZZ_CHECK(sql.find('\0') == std::string::npos);
    if (refusal) FUZZ_CHECK(!refusal->empty());
    if (sql.find('\0') != std::string::npos) FUZZ_CHECK(refusal && refusal->find("line") != std::string::npos);
    // Whether a text is complete never depends on what follows its last statement's ";" but blanks.
    if (!refusal) FUZZ_CHECK(!tolbe::devtools::CheckImportSqlText(sql + " \n"));
    if (refusal) return 0;
    // What passes runs under the import's allowlist: it either fails with a reason or leaves a
    // code database, and never crashes or reaches another file.
    static const std::string out =
        (std::filesystem::temp_directory_path() / ("fuzz-import-" + std::to_string(::getpid()) + ".db3")).string();
    try {
        tolbe::devtools::ImportDatabaseSql(sql, out, true);
        FUZZ_CHECK(tolbe::db::TryVerifyDatabaseFile(out, tolbe::db::BuildDatabaseKey()));
    } catch (const tolbe::db::DbError& e) {
        FUZZ_CHECK(*e.what() != '\0');
    }
    std::error_code ec;
    std::filesystem::remove(out, ec);
    return 0;
}
