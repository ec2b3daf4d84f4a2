#pragma once

#include <string_view>

namespace tolbe::db {

// The CREATE statements of the code database's tables and indexes (data/schema.sql), without
// M_Version, which is made with its own statement (VersionTableStatement).
std::string_view CodeDatabaseSchema();

} // namespace tolbe::db
