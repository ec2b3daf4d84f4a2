#include "core/Download.h"

#include "codec/DownOrder.h"

#include <utility>

namespace tolbe::core {

DownloadRequest RequestFor(Slot slot, const codec::SlotInfo& codeSet) {
    DownloadRequest request;
    request.slot = slot;
    request.SourceID = codeSet.SourceID;
    request.SetOfCodeID = codeSet.SetOfCodeID;
    return request;
}

DownloadResult<Done> BuildSlotRecord(const db::CodeDatabase& database, const DownloadRequest& request,
                                     codec::FillerSource& rng, std::vector<std::uint8_t>& CodeBuffer,
                                     std::int16_t& BlockCount, std::string* orderUsed) {
    CodeBuffer.assign(Slot::kRegionBytes, 0);
    const auto refuse = [](Refusal refusal, std::string reason) {
        return DownloadResult<Done>::Fail(std::move(reason), refusal);
    };
    if (request.SourceID < 1) return refuse(Refusal::NotAssigned, "no code set is assigned to the slot");
    if (!database.IsOpen()) return refuse(Refusal::NoDatabase, "no code database is open");
    db::CodeSet codes;
    std::string order;
    try {
        if (request.StrKeyDown)
            order = *request.StrKeyDown;
        else if (request.SetOfCodeID > 0)
            order =
                codec::GetDownOrderStr(db::ReadKeyOrderRows(database.DBConn(), request.SetOfCodeID, request.RCUModel));
        else
            order = codec::GetDownOrderStr(
                db::ReadDownloadKeyOrderRows(database.DBConn(), request.SourceID, request.RCUModel));
        codes = database.LoadCodeSet(request.SourceID);
    } catch (const db::DbError& e) {
        return refuse(Refusal::DatabaseFailed, std::string("database: ") + e.what());
    }
    const Status built =
        codec::BuildCodeRecord(request.RCUModel, request.slot.Number(), codes, CodeBuffer, BlockCount, order, rng);
    if (!built) return refuse(Refusal::EncoderRefused, built.Error());
    if (orderUsed != nullptr) *orderUsed = std::move(order);
    return DownloadResult<Done>::Ok({});
}

DownloadResult<Done> CmdDownCodeAPI(const db::CodeDatabase& database, const DownloadRequest& request,
                                    codec::FillerSource& rng, std::vector<std::uint8_t>& CodeBuffer,
                                    std::int16_t& BlockCount, audio::DownloadSink& sink,
                                    audio::DownloadProgress& progress) {
    DownloadResult<Done> built = BuildSlotRecord(database, request, rng, CodeBuffer, BlockCount);
    if (!built) return built;
    audio::SendCodeRecord(request.slot.Number(), CodeBuffer, BlockCount, request.slot.Name(), sink, progress);
    return built;
}

DownloadResult<PreparedDownload> PrepareDownload(const db::CodeDatabase& database, const DownloadRequest& request,
                                                 codec::FillerSource& rng, int leadIn_ms) {
    PreparedDownload prepared;
    audio::SignalRecorder recorder(leadIn_ms);
    const DownloadResult<Done> sent =
        CmdDownCodeAPI(database, request, rng, prepared.CodeBuffer, prepared.BlockCount, recorder, recorder);
    if (!sent) return DownloadResult<PreparedDownload>::FailAs(sent);
    prepared.signal = recorder.Take();
    return DownloadResult<PreparedDownload>::Ok(std::move(prepared));
}

} // namespace tolbe::core
