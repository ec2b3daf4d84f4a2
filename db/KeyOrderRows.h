#pragma once

#include "db/Database.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tolbe::db {

// One row of M_RCUFuncKey for the remote model: the remote's key number and the key-map number
// on it (none when that column is not a whole number).
struct FuncKeyRow {
    std::int16_t rcuModelId = 0;
    std::optional<std::int32_t> keyMapId;
};

// What the key order of one code set is made of, as the database holds it;
// codec::GetDownOrderStr makes the order of it.
struct KeyOrderRows {
    std::string remoteKeys;            // the remote's key order (M_RCUInfo); empty when unreadable
    std::optional<std::string> source; // the code set's Source; none when no such set or unreadable
    // The model's key rows in query order, rows whose key number is not a 16-bit whole number left
    // out; none when the query failed. Not read when there is no source.
    std::optional<std::vector<FuncKeyRow>> keys;
};

// The rows for code set `SetOfCodeID` of remote model `rcuModel`. Never throws a DbError: what a
// query cannot read is missing from the answer.
KeyOrderRows ReadKeyOrderRows(const DbConnection& conn, std::int32_t SetOfCodeID, std::uint8_t rcuModel);

// The rows a download of code source `SourceID` takes: those of the source's first valid code set,
// no source when it has none. Throws DbError when the code-set query itself fails.
KeyOrderRows ReadDownloadKeyOrderRows(const DbConnection& conn, std::int32_t SourceID, std::uint8_t rcuModel);

} // namespace tolbe::db
