#pragma once

#include "db/Database.h"

#include <string>
#include <vector>

// The code search of the main window: the statement that lists the newest 300 valid code sets
// of a device type whose brand and model names contain the user's key words.
namespace tolbe::db {

// Most code sets one search lists.
inline constexpr int kSearchRowLimit = 300;

// The quoted LIKE pattern for a key word: it matches the key anywhere in the column, and every
// blank in it matches any run of characters. "%", "_" and "\" in the key match themselves (the
// statement declares "\" as the escape character); single quotes are doubled.
std::string GetLikeStr(const std::string& key);

// Longest key word (in bytes) the search uses; a longer one is cut at a character boundary, which
// only widens the result. SQLite refuses LIKE patterns over 50,000 bytes, and escaping at most
// doubles a key word's bytes before the two "%" are added.
inline constexpr std::size_t kMaxKeyWordBytes = 24999;

// The search statement; key words are cut to kMaxKeyWordBytes. `alias155` to `alias157` are the headings of the device,
// brand and model columns (texts 155 to 157 of the active language). An empty device searches for "DVD".
// `rowLimit` 0 lists every match (the set-up assistant's candidates), in the same order.
std::string BuildSearchStatement(const std::string& device, const std::string& brand, const std::string& model,
                                 const std::string& alias155, const std::string& alias156, const std::string& alias157,
                                 int rowLimit = kSearchRowLimit);

// Runs the search statement on `conn`. Columns: SourceID, SetOfCodeID, the three aliased name
// columns and CodeDate, newest first. Throws DbError when the connection is not open.
DbRecordset SearchSetOfCodes(const DbConnection& conn, const std::string& device, const std::string& brand,
                             const std::string& model, const std::string& alias155, const std::string& alias156,
                             const std::string& alias157, int rowLimit = kSearchRowLimit);

// Every code set the search for `device` and `brand` lists, in its order and with its columns,
// and each one's Source as a seventh column (what decides its key order).
DbRecordset SearchWithSources(const DbConnection& conn, const std::string& device, const std::string& brand);

// The brand names the valid code sets of a device type have (the device matched as the search
// matches it), each once, in alphabetical order without regard to letter case. With `brandKey`
// only the brands the search's brand key word would match. Throws DbError.
std::vector<std::string> ListBrands(const DbConnection& conn, const std::string& device,
                                    const std::string& brandKey = {});

} // namespace tolbe::db
