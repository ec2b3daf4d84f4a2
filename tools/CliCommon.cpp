#include "tools/CliCommon.h"

#include "codec/DownOrder.h"
#include "common/Slot.h"

#include "common/IniSettingsStore.h"
#include "common/ProgramPaths.h"
#include "db/DatabaseFile.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <iostream>

namespace tolbe::cli {

CliDatabase LocateDatabase(const CliContext& ctx, const std::string& file) {
    if (!file.empty()) return {file, db::BuildDatabaseKey()};
    const IniSettingsStore settings;
    const db::DatabaseLocation loc = db::CheckDatabase(settings, ctx.Paths());
    if (!loc.exists) throw CliFailure{"no code database at " + loc.DBPath};
    return {loc.DBPath, loc.DBKey};
}

void OpenCodeDatabase(db::DbConnection& conn, const CliDatabase& where) {
    if (const Status opened = db::TryOpenCodeDatabase(conn, where.path, where.key,
                                                      db::CheckOptions{ProgramPaths::CheckedDatabasesFile()});
        !opened)
        throw CliFailure{"cannot open the code database " + where.path +
                         " (missing, damaged or not ours: " + opened.Error() + ")"};
}

std::uint8_t ParseSlot(std::string text) {
    if (const auto slot = Slot::Parse(text)) return slot->Number();
    throw CliFailure{"unknown slot \"" + text + "\": use " + Slot::Choices(), 2};
}

void AddCodeSelectors(CLI::App* cmd, CodeSelection& sel) {
    cmd->add_option("--db", sel.db, "code database file (default: the one the program opens)");
    cmd->add_option("--slot", sel.slot, Slot::Choices())->required();
    cmd->add_option("--source-id", sel.sourceId, "code source (SourceID)")->required();
    sel.orderOpt = cmd->add_option("--order", sel.order,
                                   "key order, e.g. \"13,3,4\" (default: as a download takes it; \"\" for the "
                                   "slot's default order)");
    sel.seedOpt = cmd->add_option("--seed", sel.seed, "seed of the filler bytes (default: random)");
}

ResolvedCode ResolveCodeSelection(const CliContext& ctx, const CodeSelection& sel) {
    ResolvedCode code;
    code.request.RCUModel = codec::kSupportedRcuModel;
    code.request.slot = Slot::FromNumber(ParseSlot(sel.slot));
    code.request.SourceID = sel.sourceId;
    if (sel.orderOpt != nullptr && sel.orderOpt->count() > 0) code.request.StrKeyDown = sel.order;
    const CliDatabase where = LocateDatabase(ctx, sel.db);
    code.database = std::make_shared<db::CodeDatabase>();
    if (code.database->OpenFile(where.path) != db::CodeDatabase::State::Open)
        throw CliFailure{"cannot open the code database " + where.path +
                         " (missing, damaged or not ours: " + code.database->Problem() + ")"};
    return code;
}

std::unique_ptr<codec::SeededFiller> MakeFiller(const CodeSelection& sel) {
    return sel.seedOpt != nullptr && sel.seedOpt->count() > 0 ? std::make_unique<codec::SeededFiller>(sel.seed)
                                                              : std::make_unique<codec::SeededFiller>();
}

namespace {

void Report(const core::RemoteRecord& record, const core::RemoteRecord::LoadReport& report) {
    if (!report.setAside.empty())
        std::cerr << "tolbe-cli: the remote's record " << record.File().string() << " was damaged (" << report.problem
                  << "); it was kept as " << report.setAside.string()
                  << ", and the slots that could be read stay recorded\n";
    else if (!report.problem.empty())
        throw CliFailure{report.problem + " (the remote's record is left as it is)"};
}

} // namespace

core::RemoteRecord LoadRemoteRecord(const CliContext& ctx) {
    core::RemoteRecord record(ctx.Paths().RemoteRecordFile());
    Report(record, record.Load());
    return record;
}

void ChangeRemoteRecord(const CliContext& ctx, const std::function<void(core::RemoteRecord&)>& change) {
    core::RemoteRecord record(ctx.Paths().RemoteRecordFile());
    const core::RemoteRecord::ChangeReport report = record.Change([&](core::RemoteRecord& r) {
        Report(r, r.LastLoad()); // before the change may refuse, so a damaged file is always told
        change(r);
    });
    if (!report.saved) throw CliFailure{report.saved.Error()};
}

core::PreparedDownload PrepareOrFail(const ResolvedCode& code, codec::FillerSource& rng, int leadIn_ms) {
    core::DownloadResult<core::PreparedDownload> prepared =
        core::PrepareDownload(*code.database, code.request, rng, leadIn_ms);
    if (prepared) return std::move(*prepared);
    if (prepared.ErrorKind() == core::Refusal::DatabaseFailed)
        throw CliFailure{"cannot read the code set: " + prepared.Error()};
    throw CliFailure{"the encoder refused code source " + std::to_string(code.request.SourceID) + ": " +
                     prepared.Error()};
}

} // namespace tolbe::cli
