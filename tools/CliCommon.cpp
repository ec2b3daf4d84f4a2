#include "tools/CliCommon.h"

#include "codec/DownOrder.h"

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
    const db::DatabaseLocation loc = db::CheckDatabase(settings, ctx.Paths());
    if (!loc.exists) throw CliFailure{"no code database at " + loc.DBPath};
    return {loc.DBPath, loc.DBKey};
}

void OpenCodeDatabase(db::DbConnection& conn, const CliDatabase& where) {
    if (std::string why; !db::OpenCodeDatabase(conn, where.path, where.key, &why))
        throw CliFailure{"cannot open the code database " + where.path + " (missing, damaged or not ours: " + why +
                         ")"};
}

std::uint8_t ParseSlot(std::string text) {
    static const std::array<const char*, 4> kNames{"TV", "SAT", "DVD", "AUX"};
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    for (std::uint8_t s = 0; s < kNames.size(); ++s)
        if (text == kNames[s] || text == std::to_string(s)) return s;
    throw CliFailure{"unknown slot \"" + text + "\": use TV, SAT, DVD, AUX or 0 to 3", 2};
}

void AddCodeSelectors(CLI::App* cmd, CodeSelection& sel) {
    cmd->add_option("--db", sel.db, "code database file (default: the one the program opens)");
    cmd->add_option("--slot", sel.slot, "TV, SAT, DVD, AUX or 0 to 3")->required();
    cmd->add_option("--source-id", sel.sourceId, "code source (SourceID)")->required();
    sel.orderOpt = cmd->add_option("--order", sel.order,
                                   "key order, e.g. \"13,3,4\" (default: as a download takes it; \"\" for the "
                                   "slot's default order)");
    sel.seedOpt = cmd->add_option("--seed", sel.seed, "seed of the filler bytes (default: random)");
}

ResolvedCode ResolveCodeSelection(const CliContext& ctx, const CodeSelection& sel) {
    ResolvedCode code;
    code.slot = ParseSlot(sel.slot);
    code.sourceId = sel.sourceId;
    code.where = LocateDatabase(ctx, sel.db);
    if (sel.orderOpt != nullptr && sel.orderOpt->count() > 0) {
        code.order = sel.order;
        return code;
    }
    db::DbConnection conn;
    OpenCodeDatabase(conn, code.where);
    try {
        code.order = codec::DownloadOrderFor(conn, code.sourceId, kRcuModel);
    } catch (const db::DbError& e) {
        throw CliFailure{std::string("cannot read the key order: ") + e.what()};
    }
    return code;
}

std::unique_ptr<codec::SeededFiller> MakeFiller(const CodeSelection& sel) {
    return sel.seedOpt != nullptr && sel.seedOpt->count() > 0 ? std::make_unique<codec::SeededFiller>(sel.seed)
                                                              : std::make_unique<codec::SeededFiller>();
}

void EncodeOrFail(const ResolvedCode& code, codec::FillerSource& rng, std::vector<std::uint8_t>& buffer,
                  std::int16_t& blocks) {
    std::string why;
    if (!codec::BuildCodeRecord(kRcuModel, code.slot, code.sourceId, buffer, blocks, code.order, code.where.path,
                                code.where.key, rng, &why))
        throw CliFailure{"the encoder refused code source " + std::to_string(code.sourceId) + ": " + why};
}

} // namespace tolbe::cli
