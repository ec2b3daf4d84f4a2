#include "tools/CliDatabase.h"

#include "common/IniSettingsStore.h"
#include "common/ProgramPaths.h"
#include "db/DatabaseFile.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace tolbe::cli {

CliDatabase LocateDatabase(const CliContext& ctx, const std::string& file) {
    if (!file.empty()) return {file, db::BuildDatabaseKey()};
    const IniSettingsStore settings;
    const db::DatabaseLocation loc = db::CheckDatabase(settings, ProgramPaths(ctx.program_dir));
    if (!loc.exists) throw CliFailure{"no code database at " + loc.DBPath};
    return {loc.DBPath, loc.DBKey};
}

void OpenCodeDatabase(db::DbConnection& conn, const CliDatabase& where) {
    if (!conn.OpenDatabase(where.path, where.key, true))
        throw CliFailure{"cannot open the code database " + where.path + " (missing, damaged or not ours)"};
}

std::uint8_t ParseSlot(std::string text) {
    static const std::array<const char*, 4> kNames{"TV", "SAT", "DVD", "AUX"};
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    for (std::uint8_t s = 0; s < kNames.size(); ++s)
        if (text == kNames[s] || text == std::to_string(s)) return s;
    throw CliFailure{"unknown slot \"" + text + "\": use TV, SAT, DVD, AUX or 0 to 3", 2};
}

} // namespace tolbe::cli
