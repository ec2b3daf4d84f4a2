#pragma once

#include "db/KeyOrderRows.h"

#include <string>

namespace tolbe::codec {

// The key order of a code set (its rows read by db::ReadKeyOrderRows): the key-map numbers to put
// on the remote's keys, in the remote's own key order, joined by ",". Empty for code sets whose
// Source is "MFY" (any letter case), that do not exist or whose keys could not be read; the
// encoder then uses its default order. A pure function of the rows.
std::string GetDownOrderStr(const db::KeyOrderRows& rows);

} // namespace tolbe::codec
