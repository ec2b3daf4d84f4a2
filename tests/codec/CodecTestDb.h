#pragma once

#include "db/DatabaseFile.h"
#include "tests/support/TestSupport.h"

#include <filesystem>
#include <string>

namespace tolbe::test {

inline std::string SchemaSql() {
    return ReadFile(std::filesystem::path(TOLBE_SOURCE_DIR) / "data" / "schema.sql");
}

// A keyed database of the program's tables holding only `rows`.
struct CodecDb {
    TempDir dir;
    std::filesystem::path file = dir / "codes.db3";
    std::string key = db::BuildDatabaseKey();

    explicit CodecDb(const std::string& rows) { MakeKeyedDatabase(file, SchemaSql() + rows); }
};

} // namespace tolbe::test
