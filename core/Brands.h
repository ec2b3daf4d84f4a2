#pragma once

#include "common/Result.h"
#include "db/CodeDatabase.h"

#include <string>
#include <vector>

// Brand choice for the set-up assistant: the brands the database has, and the ones a mistyped
// brand most likely meant.
namespace tolbe::core {

struct BrandChoice {
    std::vector<std::string> matching; // brands the typed text finds as a search key word would
    std::vector<std::string> nearest;  // "Did you mean ...?": close brands the key word misses, closest first
};

// The brands of `device` (ListBrands). With `typed` not empty, those it matches as a brand key word
// and the near matches among the rest (NearBrands). Fails when the database cannot be read.
Result<BrandChoice> ChooseBrand(const db::CodeDatabase& database, const std::string& device,
                                const std::string& typed = {});

// The brands of `brands` that `typed` probably means although it is written differently: in
// another letter case, with or without blanks, hyphens and other punctuation, or with one or
// two letters wrong, missing, extra or swapped (one for short names). Closest first, at most
// `limit`; an exact match comes alone.
std::vector<std::string> NearBrands(const std::vector<std::string>& brands, const std::string& typed,
                                    std::size_t limit = 5);

} // namespace tolbe::core
