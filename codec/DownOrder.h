#pragma once

#include "db/Database.h"

#include <cstdint>
#include <string>

namespace tolbe::codec {

// The key order for code set `tmpSetOfCodeID`: the key-map numbers to put on the remote's keys,
// in the remote's own key order (M_RCUInfo of `rcuModel`), joined by ",". Empty for code sets
// whose Source is "MFY" (any letter case) or that do not exist; the encoder then uses its
// default order. Never throws: a failing query is skipped as the key order allows.
std::string GetDownOrderStr(const db::DbConnection& conn, std::int32_t tmpSetOfCodeID, std::uint8_t rcuModel);

// The key order a download hands the encoder for code source `SourceID`: GetDownOrderStr of the
// first valid code set of that source, or empty when the source has no valid code set.
// Throws db::DbError when the code-set query itself fails (the caller decides how to report it).
std::string DownloadOrderFor(const db::DbConnection& conn, std::int32_t SourceID, std::uint8_t rcuModel);

} // namespace tolbe::codec
