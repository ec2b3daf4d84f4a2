#pragma once

#include "db/Database.h"
#include "tools/CliRegistry.h"

#include <cstdint>
#include <string>

namespace tolbe::cli {

// The code database a command works on, and its key.
struct CliDatabase {
    std::string path;
    std::string key;
};

// `file` when given, else the database the program itself would open (the "DatabasePath"
// setting or the program folder's file). Throws CliFailure when there is none.
CliDatabase LocateDatabase(const CliContext& ctx, const std::string& file);

// Opens it; throws CliFailure with a plain reason when it is missing, damaged or not ours.
void OpenCodeDatabase(db::DbConnection& conn, const CliDatabase& where);

// "TV", "SAT", "DVD", "AUX" (any letter case) or "0" to "3". Throws CliFailure (status 2) otherwise.
std::uint8_t ParseSlot(std::string text);

} // namespace tolbe::cli
