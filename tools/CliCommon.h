#pragma once

#include "codec/CodeRecord.h"
#include "codec/SlotTable.h"
#include "core/Download.h"
#include "core/RemoteRecord.h"
#include "db/CodeDatabase.h"
#include "db/Database.h"
#include "tools/CliRegistry.h"

#include <cstdint>
#include <functional>
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

// The remote's record of the program folder (ProgramPaths), to read. A damaged file is reported on
// stderr here, once: it is set aside by the load (and the window says so at its next look).
core::RemoteRecord LoadRemoteRecord(const CliContext& ctx);

// Changes the record as RemoteRecord::Change does (read, `change`, write under the record's lock,
// so the window's changes and another tolbe-cli's are kept); a damaged file is reported as by
// LoadRemoteRecord. Throws CliFailure with the reason when it cannot be read or written, and
// whatever `change` throws, the record then left as it was.
void ChangeRemoteRecord(const CliContext& ctx, const std::function<void(core::RemoteRecord&)>& change);

// Filler bytes from --seed, or random ones.
std::unique_ptr<codec::SeededFiller> MakeFiller(const CodeSelection& sel);

// The download of the selection, through the same path as the window's; throws CliFailure
// (status 1) with the reason when there is nothing to send.
core::PreparedDownload PrepareOrFail(const ResolvedCode& code, codec::FillerSource& rng,
                                     int leadIn_ms = audio::kLeadIn_ms);

// Where a download goes: a WAV file, or an ALSA device (played).
struct DownloadOutput {
    std::string wav;
    std::string device;
    int leadIn_ms = audio::kLeadIn_ms;
};

void AddDownloadOutputOptions(CLI::App* cmd, DownloadOutput& out);

// Plays the download of `code` (or writes it to the WAV file) through the window's path. A download
// played records the slot in the remote's record (verdict "not tried"): as `written` when given,
// else as the code source's first valid code set; a forced key order (--order) records nothing, since
// it writes no code set as the database has it. Throws CliFailure (status 1 refused, 3 not played).
void RunDownload(const CliContext& ctx, const ResolvedCode& code, codec::FillerSource& rng, const DownloadOutput& out,
                 const codec::SlotInfo* written = nullptr);

} // namespace tolbe::cli
