#include "core/Download.h"

#include "codec/DownOrder.h"

namespace tolbe::core {

DownloadRequest RequestFor(Slot slot, const codec::SlotInfo& codeSet) {
    DownloadRequest request;
    request.slot = slot;
    request.SourceID = codeSet.SourceID;
    request.SetOfCodeID = codeSet.SetOfCodeID;
    return request;
}

Refusal BuildSlotRecord(const db::CodeDatabase& database, const DownloadRequest& request, codec::FillerSource& rng,
                        std::vector<std::uint8_t>& CodeBuffer, std::int16_t& BlockCount, std::string* why,
                        std::string* orderUsed) {
    CodeBuffer.assign(Slot::kRegionBytes, 0);
    const auto refuse = [&](Refusal refusal, const std::string& reason) {
        if (why != nullptr) *why = reason;
        return refusal;
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
    std::string reason;
    if (!codec::BuildCodeRecord(request.RCUModel, request.slot.Number(), codes, CodeBuffer, BlockCount, order, rng,
                                &reason))
        return refuse(Refusal::EncoderRefused, reason);
    if (orderUsed != nullptr) *orderUsed = std::move(order);
    return Refusal::None;
}

Refusal CmdDownCodeAPI(const db::CodeDatabase& database, const DownloadRequest& request, codec::FillerSource& rng,
                       std::vector<std::uint8_t>& CodeBuffer, std::int16_t& BlockCount, audio::DownloadSink& sink,
                       audio::DownloadProgress& progress, std::string* why) {
    const Refusal refusal = BuildSlotRecord(database, request, rng, CodeBuffer, BlockCount, why);
    if (refusal != Refusal::None) return refusal;
    audio::SendCodeRecord(request.slot.Number(), CodeBuffer, BlockCount, request.slot.Name(), sink, progress);
    return Refusal::None;
}

PreparedDownload PrepareDownload(const db::CodeDatabase& database, const DownloadRequest& request,
                                 codec::FillerSource& rng, int leadIn_ms) {
    PreparedDownload prepared;
    audio::SignalRecorder recorder(leadIn_ms);
    prepared.refusal = CmdDownCodeAPI(database, request, rng, prepared.CodeBuffer, prepared.BlockCount, recorder,
                                      recorder, &prepared.why);
    if (prepared.Ready()) prepared.signal = recorder.Take();
    return prepared;
}

} // namespace tolbe::core
