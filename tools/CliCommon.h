#pragma once

#include "codec/CodeRecord.h"
#include "core/Download.h"
#include "db/CodeDatabase.h"
#include "db/Database.h"
#include "tools/CliRegistry.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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

// The remote model every command works for.
inline constexpr std::uint8_t kRcuModel = 1;

// The code-set selectors of encode, packets and download: --db, --slot, --source-id, --order, --seed.
struct CodeSelection {
    std::string db, slot, order;
    std::int32_t sourceId = 0;
    std::uint32_t seed = 0;
    CLI::Option* orderOpt = nullptr;
    CLI::Option* seedOpt = nullptr;
};

void AddCodeSelectors(CLI::App* cmd, CodeSelection& sel);

// A selection made concrete the way a download in the main window takes it: without --order the
// key order of the code source's first valid code set; --order "" forces the slot's default.
struct ResolvedCode {
    std::shared_ptr<db::CodeDatabase> database; // open
    core::DownloadRequest request;
};

// Opens the database; throws CliFailure when it is missing, damaged or not ours.
ResolvedCode ResolveCodeSelection(const CliContext& ctx, const CodeSelection& sel);

// Filler bytes from --seed, or random ones.
std::unique_ptr<codec::SeededFiller> MakeFiller(const CodeSelection& sel);

// The download of the selection, through the same path as the window's; throws CliFailure
// (status 1) with the reason when there is nothing to send.
core::PreparedDownload PrepareOrFail(const ResolvedCode& code, codec::FillerSource& rng,
                                     int leadIn_ms = audio::kLeadIn_ms);

} // namespace tolbe::cli
